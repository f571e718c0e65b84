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
  return signatureFieldIndex(*pdf_, name);
}

void PDFForm::close() { pdf_.reset(); }

}  // namespace penvora::core::securepdf
