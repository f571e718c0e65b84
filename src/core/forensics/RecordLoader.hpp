#pragma once
#include <string>

#include "core/forensics/PenSignature.hpp"

namespace penvora::core::forensics {

// Reads a signature from the biometric record text (header names, values,
// column names, one row per sample), from that text in base64, or from the
// protected record inside a signed PDF opened with the biometric key.
class RecordLoader {
 public:
  // The record text. Throws ForensicsError naming `origin`.
  static PenSignature parseRecordText(const std::string& text, const std::string& origin);
  // The record text or its base64, whichever `contents` holds.
  static PenSignature parseRecordOrBase64(const std::string& contents, const std::string& origin);
  // A file of any of the three kinds; `bioKeyPem` opens a signed PDF's
  // record (the first signature that carries one). A record too short or
  // too long to compare is refused too.
  static PenSignature loadFile(const std::string& path, const std::string& bioKeyPem);
};

}  // namespace penvora::core::forensics
