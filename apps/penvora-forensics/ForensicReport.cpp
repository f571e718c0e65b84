#include "ForensicReport.hpp"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "TimePlot.hpp"
#include "core/forensics/SignatureFeatures.hpp"
#include "core/securepdf/AtomicOutputFile.hpp"

namespace penvora::tools {
namespace {

using core::forensics::SignatureFeatures;

// The page in logical units (A4 proportions).
constexpr double kWidth = 1000, kHeight = 1414;
const QColor kQuestioned(200, 30, 30), kReference(40, 90, 200, 150);

// Sized in page units, so the PDF and the PNG look the same.
QFont font(int size, bool bold = false) {
  QFont f("Sans");
  f.setPixelSize(size * 3 / 2);
  f.setBold(bold);
  return f;
}

QString percent(double f) { return QString::number(100 * f, 'f', 1) + " %"; }

// The pen path of `f` fitted into `box`, keeping its proportions; one
// sub-path per stroke.
QPainterPath penPath(const SignatureFeatures& f, const QRectF& box, double minX, double maxX, double minY,
                     double maxY) {
  const double scale = std::min(box.width() / std::max(maxX - minX, 1e-6), box.height() / std::max(maxY - minY, 1e-6));
  const double ox = box.center().x() - (minX + maxX) / 2 * scale, oy = box.center().y() - (minY + maxY) / 2 * scale;
  QPainterPath path;
  for (std::size_t s = 0; s < f.strokeStarts.size(); ++s) {
    const std::size_t a = f.strokeStarts[s], b = s + 1 < f.strokeStarts.size() ? f.strokeStarts[s + 1] : f.x.size();
    for (std::size_t i = a; i < b; ++i) {
      const QPointF p(ox + f.x[i] * scale, oy + f.y[i] * scale);
      if (i == a)
        path.moveTo(p);
      else
        path.lineTo(p);
    }
  }
  return path;
}

void bounds(const std::vector<const SignatureFeatures*>& all, double& minX, double& maxX, double& minY, double& maxY) {
  minX = minY = 1e300, maxX = maxY = -1e300;
  for (const auto* f : all) {
    for (double v : f->x) minX = std::min(minX, v), maxX = std::max(maxX, v);
    for (double v : f->y) minY = std::min(minY, v), maxY = std::max(maxY, v);
  }
}

void drawSignature(QPainter& p, const SignatureFeatures& f, const QRectF& box, const QColor& colour, double width) {
  double minX, maxX, minY, maxY;
  bounds({&f}, minX, maxX, minY, maxY);
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(penPath(f, box.adjusted(6, 6, -6, -6), minX, maxX, minY, maxY));
}

// `text` shortened in its middle to fit `width` in `f`: both ends of a
// path say most (where it lies, which file it is).
QString elided(const QString& text, const QFont& f, double width) {
  return QFontMetricsF(f).elidedText(text, Qt::ElideMiddle, width);
}

// Thumbnails stay legible up to this many; the rest are named and are in
// the overlay and the plots.
constexpr std::size_t kMaxDrawn = 15;
// Names listed below the thumbnails, up to four columns of ten.
constexpr std::size_t kMaxListed = 40;

// The page from top to bottom; the overlay takes what the references leave.
constexpr double kLeft = 40, kContentWidth = 920, kPlotHeight = 208, kMethodTop = 1322;

// The questioned signature beside the references in a grid whose cells
// stay legible, then which file each reference is, with its distance.
// Returns where the next part of the page starts.
double drawSignatures(QPainter& p, const SignatureFeatures& q, const std::vector<SignatureFeatures>& refs,
                      const std::vector<double>& distances, const std::vector<std::string>& names, double y) {
  const std::size_t n = refs.size();
  p.setFont(font(11, true));
  p.drawText(QRectF(kLeft, y + 4, kContentWidth, 20), Qt::AlignLeft,
             "Signatures as written (red: questioned, blue: references)");
  const double top = y + 28, height = 200;
  const QRectF qBox(kLeft, top, 300, height);
  p.setPen(QPen(Qt::gray, 1));
  p.drawRect(qBox);
  drawSignature(p, q, qBox, kQuestioned, 1.6);
  const std::size_t drawn = std::min(n, kMaxDrawn);
  const std::size_t columns = drawn <= 2 ? 2 : drawn <= 6 ? 3 : drawn <= 12 ? 4 : 5;
  const std::size_t rows = (drawn + columns - 1) / columns;
  const double cellW = 610.0 / static_cast<double>(columns), cellH = height / static_cast<double>(rows);
  const QFont label = font(8);
  p.setFont(label);
  for (std::size_t i = 0; i < drawn; ++i) {
    const QRectF cell(350 + static_cast<double>(i % columns) * cellW, top + static_cast<double>(i / columns) * cellH,
                      cellW - 6, cellH - 6);
    p.setPen(QPen(Qt::gray, 1));
    p.drawRect(cell);
    drawSignature(p, refs[i], cell.adjusted(0, 0, 0, -14), kReference, 1.0);
    p.setPen(Qt::black);
    p.drawText(cell.adjusted(4, 0, -4, -1), Qt::AlignBottom | Qt::AlignLeft,
               QString("R%1  DTW %2").arg(i + 1).arg(distances[i], 0, 'f', 3));
  }

  // Which file each reference is, with its distance.
  y = top + height + 10;
  const std::size_t listed = std::min(n, kMaxListed);
  const std::size_t listColumns = listed <= 4 ? 1 : listed <= 10 ? 2 : listed <= 24 ? 3 : 4;
  const std::size_t listRows = (listed + listColumns - 1) / listColumns;
  const double columnW = kContentWidth / static_cast<double>(listColumns), lineH = 15;
  const auto head = [&](std::size_t i) { return QString("R%1 (%2)").arg(i + 1).arg(distances[i], 0, 'f', 3); };
  double headW = 0;  // the names start in one column
  for (std::size_t i = 0; i < listed; ++i) headW = std::max(headW, QFontMetricsF(label).horizontalAdvance(head(i)) + 8);
  for (std::size_t i = 0; i < listed; ++i) {
    const QRectF line(kLeft + static_cast<double>(i / listRows) * columnW,
                      y + static_cast<double>(i % listRows) * lineH, columnW - 12, lineH);
    p.drawText(line, Qt::AlignLeft | Qt::TextSingleLine, head(i));
    p.drawText(line.adjusted(headW, 0, 0, 0), Qt::AlignLeft | Qt::TextSingleLine,
               elided(QString::fromStdString(i < names.size() ? names[i] : ""), label, line.width() - headW - 2));
  }
  y += static_cast<double>(listRows) * lineH;
  if (n > drawn) {
    QString note = QString("R%1 to R%2 are not drawn above").arg(drawn + 1).arg(n);
    if (n > listed) note += QString(", R%1 to R%2 not listed").arg(listed + 1).arg(n);
    p.setPen(Qt::darkGray);
    p.drawText(QRectF(kLeft, y + 2, kContentWidth, lineH), Qt::AlignLeft | Qt::TextSingleLine,
               note + "; every reference is in the overlay and the plots, and counts in the decision.");
    p.setPen(Qt::black);
    y += lineH + 2;
  }
  return y;
}

// Speed, and pressure when compared, over pen-down time: strokes follow
// one another, the lifts left out.
void drawTimePlots(QPainter& p, const std::vector<const SignatureFeatures*>& all, double stepMs, bool pressure,
                   double plotsTop) {
  TimePlot plot{{}, stepMs, "", font(8), kReference, kQuestioned};
  const double perSecond = 1000.0 / stepMs;
  for (const auto* f : all) {
    plot.curves.push_back(f->speed);
    for (double& v : plot.curves.back()) v *= perSecond;
  }
  plot.valueAxis = "spreads / s";
  const auto title = [&](double at, const QString& text) {
    p.setPen(Qt::black);
    p.setFont(font(11, true));
    p.drawText(QRectF(kLeft, at, kContentWidth, 22), Qt::AlignLeft, text);
  };
  title(plotsTop, "Pen speed over time (vertical spreads of the signature per second)");
  plot.draw(p, QRectF(kLeft, plotsTop + 24, kContentWidth, kPlotHeight - 24));
  const double pressTop = plotsTop + kPlotHeight + 14;
  if (pressure) {
    plot.curves.clear();
    for (const auto* f : all) plot.curves.push_back(f->pressure);
    plot.valueAxis = "fraction";
    title(pressTop, "Pen pressure over time (fraction of full scale)");
    plot.draw(p, QRectF(kLeft, pressTop + 24, kContentWidth, kPlotHeight - 24));
  } else {
    title(pressTop, "Pen pressure");
    p.setFont(font(9));
    p.drawText(QRectF(kLeft, pressTop + 24, kContentWidth, 20), Qt::AlignLeft | Qt::TextWordWrap,
               "Not shown: not every record carries the pen's pressure.");
  }
}

void drawPage(QPainter& p, const ReportInputs& in) {
  using core::forensics::SignatureComparator;
  const bool pressure = SignatureComparator::pressureUsable(in.references, in.questioned);
  const auto settings = SignatureComparator::settings(pressure);
  const core::forensics::ReferenceModel model(in.references, pressure, settings);
  const auto q = core::forensics::FeatureExtractor::extract(in.questioned, settings.features);
  const auto result = model.compare(q);
  const bool genuine = SignatureComparator::genuine(result.distance);
  const auto rates = SignatureComparator::measuredRates(pressure);
  const auto& refs = model.references();

  p.fillRect(QRectF(0, 0, kWidth, kHeight), Qt::white);
  p.setPen(Qt::black);
  p.setFont(font(16, true));
  p.drawText(QRectF(kLeft, 30, kContentWidth, 30), Qt::AlignLeft,
             "Comparison of a questioned signature with references");
  const QFont small = font(9);
  p.setFont(small);
  const QString questionedLabel = "Questioned: ";
  p.drawText(QRectF(kLeft, 64, kContentWidth, 18), Qt::AlignLeft | Qt::TextSingleLine,
             questionedLabel + elided(QString::fromStdString(in.questionedName), small,
                                      kContentWidth - QFontMetricsF(small).horizontalAdvance(questionedLabel) - 4));
  p.drawText(QRectF(kLeft, 82, kContentWidth, 18), Qt::AlignLeft,
             QString("References: %1 signature(s), R1 to R%1 below; pen pressure %2")
                 .arg(refs.size())
                 .arg(pressure ? "compared" : "not compared (not every record carries it)"));
  p.setFont(font(14, true));
  p.setPen(genuine ? QColor(20, 120, 40) : kQuestioned);
  p.drawText(QRectF(kLeft, 104, kContentWidth, 26), Qt::AlignLeft,
             QString("Decision: %1  (distance %2 %3 threshold %4)")
                 .arg(genuine ? "GENUINE" : "FORGERY")
                 .arg(result.distance, 0, 'f', 3)
                 .arg(genuine ? QString::fromUtf8("\u2264") : ">")
                 .arg(SignatureComparator::kThreshold, 0, 'f', 3));
  p.setPen(Qt::black);
  p.setFont(small);
  p.drawText(QRectF(kLeft, 132, kContentWidth, 36), Qt::AlignLeft | Qt::TextWordWrap,
             QString("At this threshold, on the development data (SVC2004 Task 2, 20 signers, 5 references): "
                     "%1 of genuine signatures rejected, %2 of skilled forgeries and %3 of random forgeries "
                     "accepted; equal error rate on skilled forgeries %4.")
                 .arg(percent(rates.falseReject), percent(rates.skilledFalseAccept), percent(rates.randomFalseAccept),
                      percent(rates.skilledEqualError)));
  double y = 172;
  // A record with every point of a reference was copied, not written again.
  for (std::size_t i = 0; i < in.references.size(); ++i)
    if (in.references[i].samples == in.questioned.samples) {
      p.setFont(font(10, true));
      p.setPen(kQuestioned);
      p.drawText(QRectF(kLeft, y, kContentWidth, 18), Qt::AlignLeft | Qt::TextSingleLine,
                 QString("The questioned record has exactly the points of R%1: a copy of it, not a new signature.")
                     .arg(i + 1));
      p.setPen(Qt::black);
      y += 22;
      break;
    }

  y = drawSignatures(p, q, refs, result.referenceDistances, in.referenceNames, y);

  // Overlaid after alignment: every signature centred on its centroid and
  // scaled by its vertical spread, the form the comparison works on.
  const double plotsTop = kMethodTop - 2 * (kPlotHeight + 14);
  p.setFont(font(11, true));
  p.drawText(QRectF(kLeft, y + 10, kContentWidth, 20), Qt::AlignLeft,
             "Overlaid after alignment (centroid and size normalised)");
  const QRectF overlay(kLeft, y + 34, kContentWidth, plotsTop - 12 - (y + 34));
  p.setPen(QPen(Qt::gray, 1));
  p.drawRect(overlay);
  std::vector<const SignatureFeatures*> all;
  for (const auto& r : refs) all.push_back(&r);
  all.push_back(&q);
  double minX, maxX, minY, maxY;
  bounds(all, minX, maxX, minY, maxY);
  for (const auto* f : all) {
    const bool isQ = f == &q;
    p.setPen(QPen(isQ ? kQuestioned : kReference, isQ ? 1.8 : 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(penPath(*f, overlay.adjusted(10, 10, -10, -10), minX, maxX, minY, maxY));
  }

  drawTimePlots(p, all, settings.features.stepMs, pressure, plotsTop);
  p.setFont(font(8));
  p.setPen(Qt::darkGray);
  p.drawText(QRectF(kLeft, kMethodTop, kContentWidth, kHeight - kMethodTop - 20), Qt::AlignLeft | Qt::TextWordWrap,
             QString("Method: strokes resampled every %1 ms; dynamic time warping of position, velocity and "
                     "acceleration%2 against each reference (DTW above); half the nearest reference's distance and "
                     "half the mean, scaled by the references' own spread, fused with global features (duration, "
                     "pen-down ratio, speed, direction changes) scored against the references. Local score %3, "
                     "global score %4. A lower distance means more alike; the decision is genuine when the distance "
                     "is at most the threshold.")
                 .arg(settings.features.stepMs)
                 .arg(pressure ? " and pressure" : "")
                 .arg(result.localScore, 0, 'f', 3)
                 .arg(result.globalScore, 0, 'f', 3));
}

}  // namespace

void writeForensicReport(const ReportInputs& in, const std::string& path, bool overwrite) {
  const std::string ext = std::filesystem::path(path).extension().string();
  const bool pdf = ext == ".pdf" || ext == ".PDF";
  if (!pdf && ext != ".png" && ext != ".PNG") throw std::runtime_error("the report must end in .pdf or .png: " + path);
  // Refused before anything is drawn when OUT is there and may not be replaced.
  core::securepdf::AtomicOutputFile out(path, overwrite);
  // Drawn in memory, then written as a file that has no name until it is
  // whole: a failure, or a killed process, leaves nothing beside OUT.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (pdf) {
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(150);
    writer.setTitle("Signature comparison");
    writer.setCreator("penvora-forensics");
    QPainter p;
    if (!p.begin(&writer)) throw std::runtime_error("cannot write " + path);
    p.setRenderHint(QPainter::Antialiasing);
    p.setWindow(0, 0, static_cast<int>(kWidth), static_cast<int>(kHeight));
    drawPage(p, in);
    p.end();
  } else {
    QImage image(1240, 1754, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setWindow(0, 0, static_cast<int>(kWidth), static_cast<int>(kHeight));
    drawPage(p, in);
    p.end();
    if (!image.save(&buffer, "PNG")) throw std::runtime_error("cannot write " + path);
  }
  out.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  out.commit();
}

}  // namespace penvora::tools
