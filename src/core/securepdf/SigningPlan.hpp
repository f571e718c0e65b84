#pragma once
#include <openssl/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "core/securepdf/WidgetAppearance.hpp"

namespace penvora::core::securepdf {

class Certificate;
class PDFSign;

// Where the signature goes: an existing signature field of the form, or a
// new field with one widget per listed page.
struct FieldTarget {
  std::optional<std::int32_t> existingField;  // index among the form's signature fields
  bool everyPage = false;
  std::size_t pageIndex = 0;
  std::string pageText;  // as given, for messages
  double x = 0, y = 0, width = 0, height = 0;
};

// What `PDFSign::sign` will do, read once from the signer's text settings
// so that a bad setting is refused before the document is opened.
struct SigningPlan {
  const Certificate* identity = nullptr;  // the signer's, which outlives the plan
  const EVP_MD* digest = nullptr;
  bool timestamp = false;  // baseline T
  std::time_t signingTime = 0;
  WidgetLook look;
  bool invisible = false;
  bool replaceExistingAppearance = true;
  FieldTarget target;
};

// Throws SecurePdfError naming the first setting that does not hold.
SigningPlan planSigning(const PDFSign& signer, std::time_t now);

// A setting's decimal text as a number; SecurePdfError naming `what` when
// it is not one.
double settingNumber(const std::string& text, const char* what);

// The signing time as a PDF date ("D:YYYYMMDDHHmmSS+hh'mm'").
std::string pdfDate(std::time_t t);

// The bytes of a hexadecimal setting; throws SecurePdfError naming `what`.
std::string hexToBytes(const std::string& hex, const char* what);

}  // namespace penvora::core::securepdf
