#include "qt/document/SignaturePlacement.hpp"

#include <QBuffer>
#include <QPainter>

#include "core/document/WidgetPlacement.hpp"
#include "qt/ui/Localization.hpp"
#include "core/util/Base64.hpp"

namespace penvora::qt::document {

SignaturePlacement::SignaturePlacement(const core::document::PDFDocument& document, const PDFTextSearch& text,
                                       const PenvoraSDKWidget& widget)
    : document_(document), text_(text), widget_(widget) {}

std::optional<QString> SignaturePlacement::validateWidget() const {
  const auto message = core::document::validateWidget(
      widget_,
      [&](const std::string& t) { return !text_.findString(QString::fromStdString(t), caseInsensitive).empty(); },
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
  std::optional<Rect> field;
  if (widget_.widgetType == PenvoraSDKWidgetType::field)
    if (auto f = signatureField()) field = f->bounds;
  return core::document::signatureRatio(widget_, field);
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
  ess.jpgB64 = renderSignatureJPEG(image);
  ess.bounds = field->bounds;
  return true;
}

bool SignaturePlacement::placeFixedSignature(const QImage& image, ESSParams& ess) const {
  ess.page = core::document::fixedPage(widget_);
  ess.jpgB64 = renderSignatureJPEG(image);
  ess.bounds = core::document::fixedBounds(widget_);
  return true;
}

bool SignaturePlacement::placeFloatSignature(const QImage& image, ESSParams& ess) const {
  const auto found = text_.findString(QString::fromStdString(widget_.widgetFloatText.value_or("")), literal);
  if (found.empty()) return false;
  ess.page = static_cast<std::int64_t>(found.front().pageIndex) + 1;
  ess.jpgB64 = renderSignatureJPEG(image);
  ess.bounds = core::document::floatBounds(widget_, found.front().bounds);
  return true;
}

}  // namespace penvora::qt::document
