#pragma once
#include <string>
#include <vector>

#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// Long-term validation material for the signatures of a document: every
// certificate of the signers' and time-stamp authorities' chains, with
// the OCSP responses and CRLs their issuers publish, and per signature the
// items that validate it (the /VRI entries).
struct ValidationData {
  std::vector<util::Bytes> certs, ocsps, crls;  // DER, each once
  struct PerSignature {
    std::string key;                              // upper-case hex SHA-1 of the signature's /Contents
    std::vector<std::size_t> certs, ocsps, crls;  // indexes into the above
  };
  std::vector<PerSignature> signatures;
};

// Reads each CMS (a signature's /Contents bytes, padding included), fetches
// revocation data for each certificate that names an OCSP or CRL address,
// and throws SecurePdfError when an address does not yield usable data or
// an issuer is missing.
ValidationData gatherValidationData(const std::vector<util::Bytes>& signatureContents);

}  // namespace penvora::core::securepdf
