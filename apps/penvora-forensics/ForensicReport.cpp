#include "ForensicReport.hpp"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "core/forensics/SignatureFeatures.hpp"
#include "core/util/FileReplace.hpp"

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

// One curve per signature of `series` (values per resampled point) over
// time, the questioned one last and on top.
void drawSeries(QPainter& p, const QRectF& box, const QString& title, const QString& unit,
                const std::vector<std::vector<double>>& series, double stepMs) {
  p.setPen(Qt::black);
  p.setFont(font(11, true));
  p.drawText(QRectF(box.left(), box.top() - 24, box.width(), 22), Qt::AlignLeft, title);
  p.setPen(QPen(Qt::gray, 1));
  p.drawRect(box);
  double maxT = 0, maxV = 1e-9;
  for (const auto& s : series) {
    maxT = std::max(maxT, s.size() * stepMs / 1000.0);
    for (double v : s) maxV = std::max(maxV, v);
  }
  p.setFont(font(8));
  p.drawText(QRectF(box.left(), box.bottom() + 2, box.width(), 16), Qt::AlignRight,
             QString("pen-down time, s (0 - %1)").arg(maxT, 0, 'f', 1));
  p.drawText(QRectF(box.left() + 4, box.top() + 2, box.width(), 16), Qt::AlignLeft,
             QString("%1 (max %2)").arg(unit).arg(maxV, 0, 'f', 2));
  for (std::size_t k = 0; k < series.size(); ++k) {
    const bool questioned = k + 1 == series.size();
    p.setPen(QPen(questioned ? kQuestioned : kReference, questioned ? 1.6 : 0.8));
    QPainterPath path;
    for (std::size_t i = 0; i < series[k].size(); ++i) {
      const QPointF at(box.left() + box.width() * (i * stepMs / 1000.0) / std::max(maxT, 1e-9),
                       box.bottom() - box.height() * 0.95 * series[k][i] / maxV);
      if (i == 0)
        path.moveTo(at);
      else
        path.lineTo(at);
    }
    p.drawPath(path);
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

  p.fillRect(QRectF(0, 0, kWidth, kHeight), Qt::white);
  p.setPen(Qt::black);
  p.setFont(font(16, true));
  p.drawText(QRectF(40, 30, 920, 30), Qt::AlignLeft, "Comparison of a questioned signature with references");
  p.setFont(font(9));
  p.drawText(QRectF(40, 64, 920, 18), Qt::AlignLeft | Qt::TextSingleLine,
             "Questioned: " + QString::fromStdString(in.questionedName));
  p.drawText(QRectF(40, 82, 920, 18), Qt::AlignLeft,
             QString("References: %1 signature(s); pen pressure %2")
                 .arg(in.references.size())
                 .arg(pressure ? "compared" : "not compared (not every record carries it)"));
  p.setFont(font(14, true));
  p.setPen(genuine ? QColor(20, 120, 40) : kQuestioned);
  p.drawText(QRectF(40, 104, 920, 26), Qt::AlignLeft,
             QString("Decision: %1  (distance %2 %3 threshold %4)")
                 .arg(genuine ? "GENUINE" : "FORGERY")
                 .arg(result.distance, 0, 'f', 3)
                 .arg(genuine ? QString::fromUtf8("\u2264") : ">")
                 .arg(SignatureComparator::kThreshold, 0, 'f', 3));
  p.setPen(Qt::black);
  p.setFont(font(9));
  p.drawText(QRectF(40, 132, 920, 36), Qt::AlignLeft | Qt::TextWordWrap,
             QString("At this threshold, on the development data (SVC2004 Task 2, 20 signers, 5 references): "
                     "%1 of genuine signatures rejected, %2 of skilled forgeries and %3 of random forgeries "
                     "accepted; equal error rate on skilled forgeries %4.")
                 .arg(percent(rates.falseReject), percent(rates.skilledFalseAccept), percent(rates.randomFalseAccept),
                      percent(rates.skilledEqualError)));

  // Side by side: the questioned signature, then each reference with its distance.
  p.setFont(font(11, true));
  p.drawText(QRectF(40, 176, 920, 20), Qt::AlignLeft, "Signatures as written (red: questioned, blue: references)");
  const QRectF qBox(40, 200, 300, 170);
  p.setPen(QPen(Qt::gray, 1));
  p.drawRect(qBox);
  drawSignature(p, q, qBox, kQuestioned, 1.6);
  const auto& refs = model.references();
  const std::size_t perRow = refs.size() <= 6 ? 3 : 5;
  const double cellW = 610.0 / perRow, cellH = 170.0 / ((refs.size() + perRow - 1) / perRow);
  p.setFont(font(8));
  for (std::size_t i = 0; i < refs.size(); ++i) {
    const QRectF cell(350 + (i % perRow) * cellW, 200 + (i / perRow) * cellH, cellW - 6, cellH - 6);
    p.setPen(QPen(Qt::gray, 1));
    p.drawRect(cell);
    drawSignature(p, refs[i], cell.adjusted(0, 0, 0, -14), kReference, 1.0);
    p.setPen(Qt::black);
    p.drawText(cell.adjusted(4, 0, -4, -1), Qt::AlignBottom | Qt::AlignLeft,
               QString("R%1  DTW %2").arg(i + 1).arg(result.referenceDistances[i], 0, 'f', 3));
  }

  // Overlaid after alignment: every signature centred on its centroid and
  // scaled by its vertical spread, the form the comparison works on.
  p.setFont(font(11, true));
  p.drawText(QRectF(40, 384, 920, 20), Qt::AlignLeft, "Overlaid after alignment (centroid and size normalised)");
  const QRectF overlay(40, 408, 920, 300);
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

  const double perSecond = 1000.0 / settings.features.stepMs;
  std::vector<std::vector<double>> speeds;
  for (const auto* f : all) {
    speeds.push_back(f->speed);
    for (double& v : speeds.back()) v *= perSecond;
  }
  drawSeries(p, QRectF(40, 746, 920, 230), "Pen speed over time", "vertical spreads per second", speeds,
             settings.features.stepMs);
  const QRectF pressBox(40, 1016, 920, 230);
  if (pressure) {
    std::vector<std::vector<double>> press;
    for (const auto* f : all) press.push_back(f->pressure);
    drawSeries(p, pressBox, "Pen pressure over time", "fraction of full scale", press, settings.features.stepMs);
  } else {
    p.setPen(Qt::black);
    p.setFont(font(11, true));
    p.drawText(QRectF(40, 992, 920, 22), Qt::AlignLeft, "Pen pressure");
    p.setFont(font(9));
    p.drawText(pressBox.adjusted(0, 0, 0, -200), Qt::AlignLeft | Qt::TextWordWrap,
               "Not shown: not every record carries the pen's pressure.");
  }
  p.setFont(font(8));
  p.setPen(Qt::darkGray);
  p.drawText(QRectF(40, 1270, 920, 120), Qt::AlignLeft | Qt::TextWordWrap,
             QString("Method: strokes resampled every %1 ms; dynamic time warping of position, velocity and "
                     "acceleration%2 against each reference (DTW column above); the mean, scaled by the "
                     "references' own spread, fused with global features (duration, pen-down ratio, speed, "
                     "direction changes) scored against the references. Local score %3, global score %4. A "
                     "lower distance means more alike; the decision is genuine when the distance is at most the "
                     "threshold.")
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
  core::util::checkReplaceable(path, overwrite);
  const std::filesystem::path target(path);
  const QString folder = QString::fromStdString(target.has_parent_path() ? target.parent_path().string() : ".");
  QTemporaryFile temp(folder + "/.penvora-report-XXXXXX");
  if (!temp.open()) throw std::runtime_error("cannot write " + path + ": " + temp.errorString().toStdString());
  temp.close();
  if (pdf) {
    QPdfWriter writer(temp.fileName());
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
    if (!image.save(temp.fileName(), "PNG")) throw std::runtime_error("cannot write " + path);
  }
  // A report is for reading by others: not the temporary file's owner-only mode.
  QFile::setPermissions(temp.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther);
  try {
    core::util::moveIntoPlace(temp.fileName().toStdString(), path, overwrite);
  } catch (const core::util::FileReplaceError& e) {
    throw std::runtime_error(e.what());
  }
  temp.setAutoRemove(false);
}

}  // namespace penvora::tools
