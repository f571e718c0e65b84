#pragma once
#include <QImage>
#include <QString>
#include <optional>

#include "penvora/Rect.hpp"
#include "qt/document/NonSelectablePDFView.hpp"

namespace penvora::qt::document {

// What the user places by hand: the signature box and its three controls,
// drawn over their page. Bounds are in page space (points, y upwards).
class PlacementAnnotation : public PageOverlay {
 public:
  Rect bounds;
  std::optional<int> rotationDegrees;  // the page's rotation; absent draws nothing

  bool contains(double x, double y) const {
    return x >= bounds.x && x <= bounds.x + bounds.width && y >= bounds.y && y <= bounds.y + bounds.height;
  }
};

// The signature picture in a thin dark frame, upright as the user sees
// the page.
class ImageSignaturePDFAnnotation : public PlacementAnnotation {
 public:
  QImage image;
  void draw(QPainter& painter, const QTransform& pageToView) const override;
};

// A control icon from the component's pictures, upright on the page.
class ImageIconPDFAnnotation : public PlacementAnnotation {
 public:
  void draw(QPainter& painter, const QTransform& pageToView) const override;

 protected:
  explicit ImageIconPDFAnnotation(QString imageName) : imageName_(std::move(imageName)) {}

 private:
  QString imageName_;
};

class ImageAcceptPDFAnnotation : public ImageIconPDFAnnotation {
 public:
  ImageAcceptPDFAnnotation() : ImageIconPDFAnnotation(QStringLiteral("accept")) {}
};
class ImageClosePDFAnnotation : public ImageIconPDFAnnotation {
 public:
  ImageClosePDFAnnotation() : ImageIconPDFAnnotation(QStringLiteral("close")) {}
};
class ImageExpandPDFAnnotation : public ImageIconPDFAnnotation {
 public:
  ImageExpandPDFAnnotation() : ImageIconPDFAnnotation(QStringLiteral("expand")) {}
};

}  // namespace penvora::qt::document
