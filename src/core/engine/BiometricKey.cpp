#include "core/engine/BiometricKey.hpp"

#include <openssl/err.h>
#include <openssl/pem.h>

namespace penvora::core::engine {
namespace {

// Asked for a passphrase: note it and refuse, so OpenSSL never prompts.
int refusePassphrase(char*, int, int, void* encrypted) {
  *static_cast<bool*>(encrypted) = true;
  return -1;
}

}  // namespace

util::Owned<EVP_PKEY, EVP_PKEY_free> BiometricKey::read(const std::string& pem, bool* encrypted) {
  bool asked = false;
  util::Owned<BIO, BIO_free> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  util::Owned<EVP_PKEY, EVP_PKEY_free> key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, refusePassphrase, &asked)
                                               : nullptr);
  ERR_clear_error();
  if (encrypted) *encrypted = asked;
  return key;
}

std::string BiometricKey::problem(const std::string& pem) {
  if (pem.find_first_not_of(" \t\r\n") == std::string::npos) return "the key file cannot be read: it is empty";
  bool encrypted = false;
  const auto key = read(pem, &encrypted);
  if (encrypted)
    return "the key is encrypted; no passphrase is asked for, so give it unencrypted (openssl pkey -in KEY -out "
           "PLAIN.pem)";
  if (!key)
    return pem.find("-----BEGIN CERTIFICATE-----") != std::string::npos
               ? "not an RSA private key but a certificate (its private key is needed)"
               : "not an RSA private key: no PEM private key could be read from it";
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA)
    return std::string("not an RSA private key but an ") + EVP_PKEY_get0_type_name(key.get()) + " key";
  return "";
}

}  // namespace penvora::core::engine
