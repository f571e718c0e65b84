#pragma once
#include <optional>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {

// A decoded PKCS#12 identity: key, certificate and chain, each owned.
struct DecodedIdentity {
  util::Owned<EVP_PKEY, EVP_PKEY_free> key;
  util::Owned<X509, X509_free> cert;
  std::vector<util::Owned<X509, X509_free>> chain;
};

// The last identity decoded in this process, keyed by a SHA-256 of the
// container and its password. Decoding a PKCS#12 costs key derivations the
// format demands and a new key's blinding set-up, a third of a one-page
// signing; a request with several documents, or the next request with the
// same identity, takes the decoded one instead. One entry only, so a
// replaced identity's key leaves memory at the next decode.
class IdentityCache {
 public:
  // A copy of the cached identity (new references) when `container` and
  // `password` are those it was decoded from.
  static std::optional<DecodedIdentity> find(const std::string& container, const std::string& password);
  // Remembers the identity (new references) for `container` and `password`.
  static void remember(const std::string& container, const std::string& password, EVP_PKEY* key, X509* cert,
                       const std::vector<util::Owned<X509, X509_free>>& chain);
};

}  // namespace penvora::core::securepdf
