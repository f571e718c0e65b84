#pragma once
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <openssl/types.h>

#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// Whether `issuer` issued `cert`: names and key identifiers match, and its
// key verifies the certificate's signature.
bool issued(X509* issuer, X509* cert);

// The OCSP responder and CRL addresses a certificate names (http only).
std::vector<std::string> ocspUrls(X509* cert);
std::vector<std::string> crlUrls(X509* cert);

// The addresses where a certificate's issuer certificate is published
// (authority information access, caIssuers; http only).
std::vector<std::string> issuerUrls(X509* cert);

// An answer about one certificate: its DER, and what it says.
struct RevocationAnswer {
  util::Bytes der;
  std::optional<std::time_t> revokedAt;  // set when it says the certificate is revoked
};

// How far the clocks of a responder or CRL issuer and this machine may differ.
constexpr long kRevocationClockSkewSeconds = 300;

// Asks the responder about `cert` and returns the OCSPResponse once it is
// successful, signed by the issuer or its delegate, about this
// certificate and current (its validity includes now). Throws
// SecurePdfError.
RevocationAnswer fetchOcspResponse(X509* cert, X509* issuer, const std::string& url);

// Downloads a CRL (DER or PEM), checks it is the issuer's, signed by it and
// current, and says whether it lists `cert`. Throws SecurePdfError.
RevocationAnswer fetchCrl(const std::string& url, X509* cert, X509* issuer);

// Downloads the issuer of `cert` from `url` (one DER or PEM certificate,
// or a certs-only PKCS#7); null when what is there did not issue it.
// Throws SecurePdfError when it cannot be fetched.
X509* fetchIssuer(X509* cert, const std::string& url);

}  // namespace penvora::core::securepdf
