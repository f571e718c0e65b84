#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/securepdf/SigningTypes.hpp"

typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

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
  ~Certificate();
  Certificate(const Certificate&) = delete;
  Certificate& operator=(const Certificate&) = delete;

  // One-line subject, RFC 2253 order, e.g. "CN=Ana,O=Example,C=ES".
  const std::string& subject() const { return subject_; }
  // The subject's common name, or the subject when it has none.
  const std::string& commonName() const { return commonName_; }

  EVP_PKEY* key() const { return key_; }
  X509* certificate() const { return cert_; }
  const std::vector<X509*>& chain() const { return chain_; }

 private:
  void release();

  EVP_PKEY* key_ = nullptr;
  X509* cert_ = nullptr;
  std::vector<X509*> chain_;
  std::string subject_, commonName_;
};

}  // namespace penvora::core::securepdf
