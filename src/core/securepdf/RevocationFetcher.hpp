#pragma once
#include <string>
#include <vector>

#include <openssl/types.h>

#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// The OCSP responder and CRL addresses a certificate names (http only).
std::vector<std::string> ocspUrls(X509* cert);
std::vector<std::string> crlUrls(X509* cert);

// Asks the responder about `cert` and returns the DER OCSPResponse once it
// is successful, signed by the issuer or its delegate, and about this
// certificate. Throws SecurePdfError.
util::Bytes fetchOcspResponse(X509* cert, X509* issuer, const std::string& url);

// Downloads a CRL (DER or PEM), checks it is the issuer's and signed by
// it, and returns its DER. Throws SecurePdfError.
util::Bytes fetchCrl(const std::string& url, X509* issuer);

}  // namespace penvora::core::securepdf
