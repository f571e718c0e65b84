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

// What one certificate's revocation data says.
struct RevocationStatus {
  std::string subject;
  std::string status;     // "good", "revoked", "unavailable" or "no source"
  std::string source;     // "OCSP (DSS)", "CRL (online)", ..., empty when none
  std::string revokedAt;  // ISO 8601 UTC, when revoked
  std::string problem;    // why unavailable
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

  // The verdict: "TOTAL-PASSED", "INDETERMINATE" or "TOTAL-FAILED", with
  // the sub-indication ("HASH_FAILURE", "NO_CERTIFICATE_CHAIN_FOUND", ...;
  // empty when passed) and the finding behind it.
  std::string indication, subIndication, verdictReason;
  std::vector<std::string> findings;  // everything noted on the way, in order
  std::string signingTime;            // ISO 8601 UTC: the time-stamp's, else the claimed one, else empty
  bool signingTimeProven = false;     // it is a verified time-stamp's
  // "valid", "no chain to a trust anchor", "expired", "not yet valid" or
  // "invalid"; empty when there is no signing certificate.
  std::string certificateStatus;
  std::vector<std::string> chain;            // subjects from the signer to its anchor
  std::string signingCertificateBinding;     // "bound", "mismatch" or "absent"
  std::vector<RevocationStatus> revocation;  // the chain's certificates but the anchor
  std::string timestampStatus;               // "valid", or what is wrong; empty without a time-stamp
  std::string timestampAuthority;            // subject of the TSA certificate

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
  // The worst of the signatures' indications; "INDETERMINATE" without any.
  std::string indication;
};

// Where trust comes from and how far to look for revocation data.
struct VerifyOptions {
  std::string password;
  std::string bioKeyPem;                  // opens the protected biometric trace
  std::vector<std::string> trustAnchors;  // files (PEM, several certificates, or DER) or folders of them
  bool systemTrust = false;               // the system's certificate store as anchors too
  bool online = false;                    // fetch OCSP answers and CRLs the document lacks
  // A certificate that names no OCSP responder or CRL makes the verdict
  // indeterminate instead of being only reported.
  bool requireRevocation = false;
};

// Thrown when the document cannot be read at all (wrong password, not a PDF).
class PENVORA_EXPORT VerificationError : public std::runtime_error {
 public:
  explicit VerificationError(const std::string& message, bool wrongPassword = false)
      : std::runtime_error(message), wrongPassword_(wrongPassword) {}
  // The document did not open with the password given (none, or another):
  // a caller may ask for one and try again.
  bool wrongPassword() const noexcept { return wrongPassword_; }

 private:
  bool wrongPassword_;
};

// Checks every signed signature of the PDF at path and reads its biometric
// summary; with bioKeyPem (the private key of the biometric encryption
// certificate) also decrypts the protected trace.
PENVORA_EXPORT VerifiedDocument verifySignatures(const std::string& path, const std::string& password = "",
                                                 const std::string& bioKeyPem = "");

// The same with trust anchors and revocation checking; each signature gets
// a verdict. Throws VerificationError also when a trust anchor cannot be read.
PENVORA_EXPORT VerifiedDocument verifySignatures(const std::string& path, const VerifyOptions& options);

}  // namespace penvora
