#include "core/securepdf/PDFForm.hpp"

#include <qpdf/QPDF.hh>

#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SignatureFieldList.hpp"

namespace penvora::core::securepdf {

PDFForm::PDFForm() = default;
PDFForm::~PDFForm() = default;

void PDFForm::open() { pdf_ = openForReading(inputFile, password); }

std::int32_t PDFForm::findField(const std::string& name) {
  if (!pdf_) throw SecurePdfError("The form is not open");
  const auto fields = listSignatureFields(*pdf_);
  auto lastPart = [](const std::string& full) {
    auto dot = full.rfind('.');
    return dot == std::string::npos ? full : full.substr(dot + 1);
  };
  // An exact full name wins over a matching last part.
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].fullName == name) return static_cast<std::int32_t>(i);
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (lastPart(fields[i].fullName) == name) return static_cast<std::int32_t>(i);
  return -1;
}

void PDFForm::close() { pdf_.reset(); }

}  // namespace penvora::core::securepdf
