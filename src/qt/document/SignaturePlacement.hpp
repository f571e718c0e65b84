#pragma once
#include <QImage>
#include <QString>
#include <optional>
#include <string>

#include "core/document/PDFDocument.hpp"
#include "penvora/ESSParams.hpp"
#include "penvora/PenvoraSDKWidget.hpp"
#include "qt/document/PDFTextSearch.hpp"

namespace penvora::qt::document {

// Places the signature box of field, fixed and float mode on the shown
// document and fills the signing inputs; the checks and the ratio that
// shape the capture area come from here too.
class SignaturePlacement {
 public:
  // All three must outlive this object.
  SignaturePlacement(const core::document::PDFDocument& document, const PDFTextSearch& text,
                     const PenvoraSDKWidget& widget);

  // The localised message that ends the run, or none.
  std::optional<QString> validateWidget() const;
  float signatureRatio() const;
  // The named signature field, else the first one.
  std::optional<core::document::PDFAnnotation> signatureField() const;

  // Fill jpgB64, bounds and page; false when there is nothing to sign on
  // (no signature field; a float text not found literally).
  bool placeFieldSignature(const QImage& image, ESSParams& ess) const;
  bool placeFixedSignature(const QImage& image, ESSParams& ess) const;
  bool placeFloatSignature(const QImage& image, ESSParams& ess) const;
  // The one of the three the widget's mode asks for; false in manual
  // mode, where the user places the box.
  bool placeSignature(const QImage& image, ESSParams& ess) const;

  // The image over white (transparent ink ends up on white), as JPEG of
  // the best quality, base64 without line breaks; "" when encoding fails.
  static std::string renderSignatureJPEG(const QImage& image);

 private:
  const core::document::PDFDocument& document_;
  const PDFTextSearch& text_;
  const PenvoraSDKWidget& widget_;
};

}  // namespace penvora::qt::document
