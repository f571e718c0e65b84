#pragma once
#include <openssl/x509.h>

#include <ctime>
#include <string>
#include <vector>

#include "core/securepdf/FetchBudget.hpp"
#include "core/util/Bytes.hpp"

namespace penvora::core::verifier {

// What is known about whether one certificate of a chain was revoked.
struct CertificateStatus {
  std::string subject;
  enum class Status { Good, Revoked, Unavailable, NoSource } status = Status::Unavailable;
  std::time_t revokedAt = 0;  // when Revoked
  std::string source;         // "OCSP (DSS)", "CRL (online)", ...
  std::string problem;        // why Unavailable
  bool isSigner = false;      // the chain's first certificate
};

// The status at `at` of every certificate of `chain` (leaf first, anchor
// last; the anchor is not asked about) from the document's OCSP responses
// and CRLs and, given `online`, from the addresses each certificate names,
// within that budget. An answer counts when it was issued after `at` or
// was current then.
std::vector<CertificateStatus> checkRevocation(STACK_OF(X509) * chain, const std::vector<util::Bytes>& ocsps,
                                               const std::vector<util::Bytes>& crls, securepdf::FetchBudget* online,
                                               std::time_t at);

}  // namespace penvora::core::verifier
