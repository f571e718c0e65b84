#include "util/Pkcs12.hpp"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <mutex>

namespace penvora {

void loadOpenSslProviders() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Loading "legacy" explicitly disables the implicit default, so load both.
    // Held for the process's lifetime (reachable, so not a leak).
    static OSSL_PROVIDER* defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
    static OSSL_PROVIDER* legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
    (void)defaultProvider;
    (void)legacyProvider;
    ERR_clear_error();
  });
}

bool pkcs12Opens(const Bytes& container, const std::string& password) {
  loadOpenSslProviders();
  if (container.empty() || container.size() > (64u << 20)) return false;
  const unsigned char* p = container.data();
  PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(container.size()));
  if (!p12) {
    ERR_clear_error();
    return false;
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  const bool ok = PKCS12_parse(p12, password.c_str(), &key, &cert, &ca) == 1 && key && cert;
  EVP_PKEY_free(key);
  X509_free(cert);
  sk_X509_pop_free(ca, X509_free);
  PKCS12_free(p12);
  ERR_clear_error();
  return ok;
}

}  // namespace penvora
