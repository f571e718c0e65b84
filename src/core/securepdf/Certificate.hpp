#pragma once
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "core/securepdf/SigningTypes.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {

// A signing identity loaded from a store: key, certificate and chain.
class Certificate {
 public:
  // Loads a PKCS#12 file. `subjectSelector` "*" takes the container's
  // identity whatever its subject; another text must occur in the subject.
  // Throws SecurePdfError when the file cannot be read, does not open with
  // the password, or holds no matching key and certificate.
  Certificate(CertStoreTypes storeType, const std::string& store, const std::string& storePassword,
              const std::string& subjectSelector);
  Certificate(const Certificate&) = delete;
  Certificate& operator=(const Certificate&) = delete;

  // One-line subject, RFC 2253 order, e.g. "CN=Ana,O=Example,C=ES".
  const std::string& subject() const { return subject_; }
  // The subject's common name, or the subject when it has none.
  const std::string& commonName() const { return commonName_; }

  EVP_PKEY* key() const { return key_.get(); }
  X509* certificate() const { return cert_.get(); }
  const std::vector<util::Owned<X509, X509_free>>& chain() const { return chain_; }

 private:
  // Decodes the PKCS#12 `bytes` into the members and caches the result.
  void decode(const std::string& bytes, const std::string& password);

  util::Owned<EVP_PKEY, EVP_PKEY_free> key_;
  util::Owned<X509, X509_free> cert_;
  std::vector<util::Owned<X509, X509_free>> chain_;
  std::string subject_, commonName_;
};

}  // namespace penvora::core::securepdf
