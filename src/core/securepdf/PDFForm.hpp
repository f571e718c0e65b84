#pragma once
#include <cstdint>
#include <memory>
#include <string>

class QPDF;

namespace penvora::core::securepdf {

// Reads the signature fields of a PDF's form.
class PDFForm {
 public:
  PDFForm();
  ~PDFForm();

  std::string inputFile, password;

  void open();
  // Index of the signature field named `name` (fully qualified or its last
  // part) in form order, the order signing counts in; -1 when absent.
  std::int32_t findField(const std::string& name);
  void close();

 private:
  std::unique_ptr<QPDF> pdf_;
};

}  // namespace penvora::core::securepdf
