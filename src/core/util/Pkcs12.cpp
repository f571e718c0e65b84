#include "core/util/Pkcs12.hpp"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <mutex>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::util {

void loadOpenSslProviders() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Loading "legacy" explicitly disables the implicit default, so load both.
    static OSSL_PROVIDER* defaultProvider = nullptr;
    static OSSL_PROVIDER* legacyProvider = nullptr;
    defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
    legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
    // Unloaded at exit so leak checkers see a clean process.
    std::atexit([] {
      if (legacyProvider) OSSL_PROVIDER_unload(legacyProvider);
      if (defaultProvider) OSSL_PROVIDER_unload(defaultProvider);
    });
    ERR_clear_error();
  });
}

bool pkcs12Opens(const Bytes& container, const std::string& password) {
  loadOpenSslProviders();
  if (container.empty() || container.size() > (64u << 20)) return false;
  const unsigned char* p = container.data();
  Owned<PKCS12, PKCS12_free> p12(d2i_PKCS12(nullptr, &p, static_cast<long>(container.size())));
  if (!p12) {
    ERR_clear_error();
    return false;
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  const bool parsed = PKCS12_parse(p12.get(), password.c_str(), &key, &cert, &ca) == 1;
  Owned<EVP_PKEY, EVP_PKEY_free> ownedKey(key);
  Owned<X509, X509_free> ownedCert(cert);
  X509Stack ownedCa(ca);
  ERR_clear_error();
  return parsed && key && cert;
}

}  // namespace penvora::core::util
