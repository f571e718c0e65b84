#include "core/securepdf/ObjectEncryptor.hpp"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {
namespace {

// RC4 by hand: OpenSSL 3 keeps it in the legacy provider only.
std::string rc4(const std::string& key, const std::string& data) {
  unsigned char s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + static_cast<unsigned char>(key[static_cast<std::size_t>(i) % key.size()])) & 0xFF;
    std::swap(s[i], s[j]);
  }
  std::string out(data.size(), '\0');
  for (std::size_t n = 0, i = 0, j = 0; n < data.size(); ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    out[n] = static_cast<char>(static_cast<unsigned char>(data[n]) ^ s[(s[i] + s[j]) & 0xFF]);
  }
  return out;
}

std::string aesCbc(const std::string& key, const std::string& data) {
  unsigned char iv[16];
  if (RAND_bytes(iv, 16) != 1) throw SecurePdfError("No random bytes for the document encryption");
  const EVP_CIPHER* cipher = key.size() == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc();
  util::Owned<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free> ctx(EVP_CIPHER_CTX_new());
  std::string out(16 + data.size() + 16, '\0');
  std::copy(iv, iv + 16, out.begin());
  int n1 = 0, n2 = 0;
  auto* o = reinterpret_cast<unsigned char*>(out.data()) + 16;
  if (!ctx ||
      EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), iv) != 1 ||
      EVP_EncryptUpdate(ctx.get(), o, &n1, reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<int>(data.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), o + n1, &n2) != 1)
    throw SecurePdfError("Encrypting new objects with the document's key failed");
  out.resize(16 + static_cast<std::size_t>(n1 + n2));
  return out;
}

}  // namespace

ObjectEncryptor::ObjectEncryptor(QPDF& pdf) {
  int P = 0;
  QPDF::encryption_method_e fileMethod = QPDF::e_none;
  if (!pdf.isEncrypted(R_, P, V_, streamMethod_, stringMethod_, fileMethod)) return;
  encrypted_ = true;
  // Before crypt filters (V < 4) everything is RC4; qpdf reports no method.
  if (V_ < 4) streamMethod_ = stringMethod_ = QPDF::e_rc4;
  key_ = pdf.getEncryptionKey();
  if (streamMethod_ == QPDF::e_unknown || stringMethod_ == QPDF::e_unknown)
    throw SecurePdfError("The document uses an encryption method this library cannot write");
}

std::string ObjectEncryptor::encrypt(const std::string& data, QPDFObjGen og, QPDF::encryption_method_e m) const {
  if (!encrypted_ || m == QPDF::e_none) return data;
  const bool aes = m == QPDF::e_aes || m == QPDF::e_aesv3;
  const std::string k = QPDF::compute_data_key(key_, og.getObj(), og.getGen(), aes, V_, R_);
  return aes ? aesCbc(k, data) : rc4(k, data);
}

std::string ObjectEncryptor::encryptString(const std::string& data, QPDFObjGen og) const {
  return encrypt(data, og, stringMethod_);
}

std::string ObjectEncryptor::encryptStream(const std::string& data, QPDFObjGen og) const {
  return encrypt(data, og, streamMethod_);
}

}  // namespace penvora::core::securepdf
