#include "PageComparison.hpp"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "core/util/BoundedFile.hpp"

namespace penvora::tools {
namespace {

constexpr double kPixelsPerPoint = 1.5;  // 108 dpi: text is readable, the picture stays small
constexpr int kMaxSide = 2400;
constexpr int kBand = 28;  // room for the captions
constexpr int kGap = 16;

// A renderer needs an application object (fonts for the captions); a
// headless one when the tool runs without a display.
void ensureApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "penvora-verify";
  static char* argv[] = {name, nullptr};
  static auto* app = new QGuiApplication(argc, argv);
  (void)app;
}

QImage render(const QString& path, int page, const std::string& password, bool& exists) {
  QPdfDocument doc;
  doc.setPassword(QString::fromStdString(password));
  if (doc.load(path) != QPdfDocument::Error::None) throw std::runtime_error("cannot open the document for drawing");
  exists = page < doc.pageCount();
  if (!exists) return {};
  const QSizeF points = doc.pagePointSize(page);
  const double scale = std::min(kPixelsPerPoint, kMaxSide / std::max(1.0, std::max(points.width(), points.height())));
  const QSize size(std::max(1, int(points.width() * scale)), std::max(1, int(points.height() * scale)));
  // With its annotations, as a reader shows it: one laid over the whole
  // page after signing changes what is seen as much as new content does.
  QPdfDocumentRenderOptions options;
  options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
  const QImage image = doc.render(page, size, options);
  if (image.isNull()) throw std::runtime_error("cannot draw page " + std::to_string(page + 1));
  // The rendering is transparent where nothing is drawn: put it on paper.
  QImage paper(size, QImage::Format_RGB32);
  paper.fill(Qt::white);
  QPainter(&paper).drawImage(0, 0, image);
  return paper;
}

bool differs(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 48;
}

}  // namespace

PageComparison comparePage(const std::string& file, std::uint64_t revisionEnd, int page, const std::string& password) {
  ensureApplication();
  const std::string bytes = core::util::readBoundedFile(file, std::size_t{1} << 31, "The document");
  if (revisionEnd == 0 || revisionEnd > bytes.size()) throw std::runtime_error("the signed revision is unknown");
  QTemporaryDir dir;
  if (!dir.isValid()) throw std::runtime_error("cannot make a temporary folder for drawing");
  QFile revision(dir.filePath("signed.pdf"));
  if (!revision.open(QIODevice::WriteOnly) ||
      revision.write(bytes.data(), static_cast<qint64>(revisionEnd)) != static_cast<qint64>(revisionEnd))
    throw std::runtime_error("cannot write the signed revision for drawing");
  revision.close();

  PageComparison out;
  bool existsNow = false;
  const QImage now = render(QString::fromStdString(file), page, password, existsNow);
  if (!existsNow) throw std::runtime_error("the document has no page " + std::to_string(page + 1));
  QImage before = render(revision.fileName(), page, password, out.pageExistedWhenSigned);
  if (!out.pageExistedWhenSigned) {
    before = QImage(now.size(), QImage::Format_RGB32);
    before.fill(Qt::lightGray);
  }

  // The right side: now, with every differing pixel tinted and the changed area framed.
  QImage marked = now;
  QRect changed;
  for (int y = 0; y < now.height(); ++y)
    for (int x = 0; x < now.width(); ++x) {
      const bool inBoth = x < before.width() && y < before.height();
      if (inBoth && !differs(before.pixel(x, y), now.pixel(x, y))) continue;
      ++out.differingPixels;
      const QRgb p = now.pixel(x, y);
      marked.setPixel(x, y, qRgb(255, qGreen(p) / 3, qBlue(p) / 3));
      changed = changed.united(QRect(x, y, 1, 1));
    }
  QImage canvas(before.width() + kGap + now.width(), std::max(before.height(), now.height()) + kBand,
                QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    painter.drawImage(0, kBand, before);
    painter.drawImage(before.width() + kGap, kBand, marked);
    painter.setPen(Qt::gray);  // the paper's edges
    painter.drawRect(0, kBand, before.width() - 1, before.height() - 1);
    painter.drawRect(before.width() + kGap, kBand, now.width() - 1, now.height() - 1);
    if (!changed.isNull()) {
      painter.setPen(QPen(Qt::red, 3));
      painter.drawRect(changed.adjusted(-4, -4, 4, 4).translated(before.width() + kGap, kBand));
    }
    painter.setPen(Qt::black);
    painter.drawText(
        QRect(0, 0, before.width(), kBand), Qt::AlignCenter,
        out.pageExistedWhenSigned ? QStringLiteral("as signed") : QStringLiteral("as signed: no such page"));
    painter.drawText(QRect(before.width() + kGap, 0, now.width(), kBand), Qt::AlignCenter,
                     out.differingPixels ? QStringLiteral("now: changes in red") : QStringLiteral("now: unchanged"));
  }
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !canvas.save(&buffer, "PNG"))
    throw std::runtime_error("cannot encode the picture");
  out.png.assign(png.constData(), static_cast<std::size_t>(png.size()));
  return out;
}

}  // namespace penvora::tools
