#include "qt/document/PlacementAnnotations.hpp"

#include <QHash>
#include <QPainter>

namespace penvora::qt::document {
namespace {

QRectF inView(const Rect& bounds, const QTransform& pageToView) {
  return pageToView.mapRect(QRectF(bounds.x, bounds.y, bounds.width, bounds.height));
}

// The page is shown turned by its rotation; drawing into the box as it
// appears on screen is the same as turning the picture back in page space.
void drawUpright(QPainter& painter, const QImage& image, const QRectF& target) {
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, image);
  painter.restore();
}

const QImage& icon(const QString& name) {
  static QHash<QString, QImage> loaded;
  auto it = loaded.find(name);
  if (it == loaded.end()) it = loaded.insert(name, QImage(QStringLiteral(":/penvora/images/") + name + ".png"));
  return *it;
}

}  // namespace

void ImageSignaturePDFAnnotation::draw(QPainter& painter, const QTransform& pageToView) const {
  const QRectF target = inView(bounds, pageToView);
  painter.save();
  QPen pen(Qt::darkGray);
  pen.setWidthF(1.5 * std::sqrt(std::abs(pageToView.determinant())));
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(target);
  painter.restore();
  if (!image.isNull() && rotationDegrees) drawUpright(painter, image, target);
}

void ImageIconPDFAnnotation::draw(QPainter& painter, const QTransform& pageToView) const {
  const QImage& image = icon(imageName_);
  if (image.isNull() || !rotationDegrees) return;
  drawUpright(painter, image, inView(bounds, pageToView));
}

}  // namespace penvora::qt::document
