#include "qt/document/SignaturePlacement.hpp"

#include <algorithm>

#include <QBuffer>
#include <QPainter>

#include "core/document/PictureFit.hpp"
#include "core/document/TurnedPagePlacement.hpp"
#include "core/document/WidgetPlacement.hpp"
#include "core/util/Base64.hpp"
#include "qt/ui/Localization.hpp"

namespace penvora::qt::document {
namespace {

// The display rotation of a page counted from 1; 0 for a page not there.
int rotationOf(const core::document::PDFDocument& document, std::int64_t pageNumber) {
  if (pageNumber < 1) return 0;
  const auto page = document.pageAtIndex(static_cast<std::size_t>(pageNumber - 1));
  return page ? page->rotation : 0;
}

// The widget with a fixed box's sides as the user sees them on its page.
PenvoraSDKWidget asSeen(const core::document::PDFDocument& document, const PenvoraSDKWidget& widget) {
  if (widget.widgetType != PenvoraSDKWidgetType::fixed) return widget;
  return core::document::shownFixedWidget(widget, rotationOf(document, core::document::fixedPage(widget)));
}

// The picture centred on a transparent canvas of the box's shape as the
// user sees it (width ÷ height), so that filling the box keeps its shape.
QImage fittedTo(const QImage& image, double boxRatio) {
  const auto size = core::document::fittedPictureSize(image.width(), image.height(), boxRatio);
  if (image.isNull() || (size.width == image.width() && size.height == image.height())) return image;
  QImage canvas(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QImage flat = image;
  flat.setDevicePixelRatio(1.0);  // pixels on pixels, whatever the screen
  QPainter p(&canvas);
  p.drawImage(QPoint((size.width - image.width()) / 2, (size.height - image.height()) / 2), flat);
  p.end();
  canvas.setDevicePixelRatio(image.devicePixelRatio());
  return canvas;
}

double ratioOf(double width, double height) { return height > 0 ? width / height : 0; }

}  // namespace

SignaturePlacement::SignaturePlacement(const core::document::PDFDocument& document, const PDFTextSearch& text,
                                       const PenvoraSDKWidget& widget)
    : document_(document), text_(text), widget_(widget) {}

std::optional<QString> SignaturePlacement::validateWidget() const {
  // The request's own sides: a box the host asked for is valid or not
  // whatever way its page is turned.
  const auto message = core::document::validateWidget(
      widget_,
      [&](const std::string& t) { return text_.findFirst(QString::fromStdString(t), caseInsensitive).has_value(); },
      [](const std::string& key) { return ui::localizedString(QString::fromStdString(key)).toStdString(); });
  if (!message) return std::nullopt;
  return QString::fromStdString(*message);
}

std::optional<core::document::PDFAnnotation> SignaturePlacement::signatureField() const {
  const auto annotations = document_.annotations();
  std::vector<core::document::FieldCandidate> candidates;
  candidates.reserve(annotations.size());
  for (const auto& a : annotations) candidates.push_back({a.isSignatureWidget(), a.fieldName});
  const auto chosen = core::document::findSignatureField(candidates, widget_.widgetFieldFieldname).chosen();
  if (!chosen) return std::nullopt;
  return annotations[*chosen];
}

float SignaturePlacement::signatureRatio() const {
  // The capture area takes the shape the user sees the box in.
  if (widget_.widgetType == PenvoraSDKWidgetType::fixed)
    return core::document::fixedCaptureRatio(widget_, rotationOf(document_, core::document::fixedPage(widget_)));
  std::optional<Rect> field;
  if (widget_.widgetType == PenvoraSDKWidgetType::field)
    if (auto f = signatureField())
      field = core::document::shownSides(f->bounds, rotationOf(document_, static_cast<std::int64_t>(f->pageIndex) + 1));
  return core::document::signatureRatio(asSeen(document_, widget_), field);
}

std::string SignaturePlacement::renderSignatureJPEG(const QImage& image) {
  if (image.isNull()) return {};
  QImage flat(image.size(), QImage::Format_RGB32);
  flat.setDevicePixelRatio(image.devicePixelRatio());
  flat.fill(Qt::white);
  {
    QPainter p(&flat);
    p.drawImage(QPointF(0, 0), image);
  }
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!flat.save(&buffer, "JPEG", 100) || jpeg.isEmpty()) return {};
  return core::util::base64Encode(std::string_view(jpeg.constData(), static_cast<std::size_t>(jpeg.size())));
}

bool SignaturePlacement::placeFieldSignature(const QImage& image, ESSParams& ess) const {
  const auto field = signatureField();
  if (!field) return false;
  ess.page = static_cast<std::int64_t>(field->pageIndex) + 1;
  const Rect seen = core::document::shownSides(field->bounds, rotationOf(document_, ess.page));
  ess.jpgB64 = renderSignatureJPEG(fittedTo(image, ratioOf(seen.width, seen.height)));
  ess.bounds = field->bounds;
  return true;
}

bool SignaturePlacement::placeFixedSignature(const QImage& image, ESSParams& ess) const {
  ess.page = core::document::fixedPage(widget_);
  const Rect seen = core::document::shownSides(core::document::fixedBounds(widget_), rotationOf(document_, ess.page));
  ess.jpgB64 = renderSignatureJPEG(fittedTo(image, ratioOf(seen.width, seen.height)));
  ess.bounds = core::document::fixedBounds(widget_);
  return true;
}

bool SignaturePlacement::placeFloatSignature(const QImage& image, ESSParams& ess) const {
  const auto found = text_.findFirst(QString::fromStdString(widget_.widgetFloatText.value_or("")), literal);
  if (!found) return false;
  const auto page = document_.pageAtIndex(found->pageIndex);
  if (!page) return false;
  ess.page = static_cast<std::int64_t>(found->pageIndex) + 1;
  const auto width = core::document::boxWidth(widget_.widgetWidth, widget_.widgetHeight);  // as seen
  ess.jpgB64 = renderSignatureJPEG(fittedTo(image, ratioOf(double(width), double(widget_.widgetHeight))));
  ess.bounds = core::document::floatBoundsOnPage(widget_, found->bounds, page->cropBox, page->rotation);
  return true;
}

bool SignaturePlacement::placeSignature(const QImage& image, ESSParams& ess) const {
  switch (widget_.widgetType) {
    case PenvoraSDKWidgetType::field:
      return placeFieldSignature(image, ess);
    case PenvoraSDKWidgetType::fixed:
      return placeFixedSignature(image, ess);
    case PenvoraSDKWidgetType::float_:
      return placeFloatSignature(image, ess);
    case PenvoraSDKWidgetType::manual:
      break;
  }
  return false;
}

}  // namespace penvora::qt::document
