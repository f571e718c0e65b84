#pragma once
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "penvora/Export.hpp"

namespace penvora {

// One point of a decrypted biometric trace, in the capture's units.
struct TracePoint {
  int x = 0, y = 0, pressure = 0, time = 0;  // time: milliseconds from the first touch
};

// An incremental update written after a signature's revision.
struct LaterUpdate {
  unsigned long long end = 0;  // where the update ends in the file
  // "none", "validation data", "form filling or signing", "annotations" or "other"
  std::string change;
  std::string detail;  // the most far-reaching change, e.g. "changes page 1's content"
};

// What an independent check of one signature finds.
struct VerifiedSignature {
  std::string field;      // fully qualified field name
  int page = -1;          // 0-based page of its first widget, -1 unknown
  std::string subFilter;  // "ETSI.CAdES.detached", "ETSI.RFC3161", ...
  std::string signer;     // subject of the signing certificate
  // The digest and signature hold over the byte ranges, and no later
  // update changes more than the signature permits.
  bool valid = false;
  bool intact = false;            // the digest and signature hold over the byte ranges
  bool coversWholeFile = false;   // its byte ranges end at the end of the file
  std::string problem;            // why not valid, when not
  std::string profile;            // "B", "T", "LT", "LTA"
  std::string timestamp;          // time-stamp time, ISO 8601 UTC, or empty
  double rect[4] = {0, 0, 0, 0};  // the first widget's /Rect

  unsigned long long revisionEnd = 0;     // where the signed revision ends, 0 unknown
  std::vector<LaterUpdate> laterUpdates;  // in file order
  int certification = 0;                  // DocMDP level in force (1-3), 0 when not certified
  std::string modification;               // "none", "allowed" or "disallowed"

  bool hasBiometricSummary = false;                                    // the summary attribute is present
  bool hasBiometricData = false;                                       // the protected record attribute is present
  std::optional<std::map<std::string, std::string>> biometricSummary;  // names to values; absent when unreadable
  // With the key: the record text (header, columns, one line per point)
  // and its points; absent when no key was given or it does not open it.
  std::optional<std::string> biometricRecord;
  std::vector<TracePoint> trace;
};

struct VerifiedDocument {
  std::vector<VerifiedSignature> signatures;  // in form order
  bool hasDss = false;                        // long-term validation data present
};

// Thrown when the document cannot be read at all (wrong password, not a PDF).
class PENVORA_EXPORT VerificationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Checks every signed signature of the PDF at path and reads its biometric
// summary; with bioKeyPem (the private key of the biometric encryption
// certificate) also decrypts the protected trace.
PENVORA_EXPORT VerifiedDocument verifySignatures(const std::string& path, const std::string& password = "",
                                                 const std::string& bioKeyPem = "");

}  // namespace penvora
