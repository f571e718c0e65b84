#include "core/util/Pkcs12.hpp"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <mutex>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::util {

namespace {

void loadLegacyProvider() {
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

}  // namespace

bool parsePkcs12(PKCS12* p12, const std::string& password, EVP_PKEY** key, X509** cert, STACK_OF(X509) * *ca) {
  if (PKCS12_parse(p12, password.c_str(), key, cert, ca) == 1) return true;
  ERR_clear_error();
  // A right password with a cipher the default provider lacks: retry with
  // the legacy one. A wrong password fails the MAC and is not retried.
  const bool macHolds = !PKCS12_mac_present(p12) || PKCS12_verify_mac(p12, password.c_str(), -1) == 1 ||
                        (password.empty() && PKCS12_verify_mac(p12, nullptr, 0) == 1);
  if (!macHolds) {
    ERR_clear_error();
    return false;
  }
  loadLegacyProvider();
  const bool parsed = PKCS12_parse(p12, password.c_str(), key, cert, ca) == 1;
  ERR_clear_error();
  return parsed;
}

bool pkcs12Opens(const Bytes& container, const std::string& password) {
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
  const bool parsed = parsePkcs12(p12.get(), password, &key, &cert, &ca);
  Owned<EVP_PKEY, EVP_PKEY_free> ownedKey(key);
  Owned<X509, X509_free> ownedCert(cert);
  X509Stack ownedCa(ca);
  ERR_clear_error();
  return parsed && key && cert;
}

}  // namespace penvora::core::util
