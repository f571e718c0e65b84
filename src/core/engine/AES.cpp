#include "core/engine/AES.hpp"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

#include "core/util/Bytes.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::engine {
namespace {
using CipherCtx = util::Owned<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;
}

const char* toString(AES::ErrorCode code) {
  switch (code) {
    case AES::ErrorCode::invalidKeySize:
      return "invalidKeySize";
    case AES::ErrorCode::generateRandomIVFailed:
      return "generateRandomIVFailed";
    case AES::ErrorCode::encryptionFailed:
      return "encryptionFailed";
    case AES::ErrorCode::decryptionFailed:
      return "decryptionFailed";
    case AES::ErrorCode::dataToStringFailed:
      return "dataToStringFailed";
  }
  return "decryptionFailed";
}

AES::Error::Error(ErrorCode code) : std::runtime_error(toString(code)), code_(code) {}

AES::AES(const std::string& key) : key_(key.begin(), key.end()) {
  if (key_.size() != 32) throw Error(ErrorCode::invalidKeySize);
}

util::Bytes AES::encrypt(const std::string& text) const {
  util::Bytes out(ivSize);
  if (RAND_bytes(out.data(), static_cast<int>(ivSize)) != 1) throw Error(ErrorCode::generateRandomIVFailed);
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key_.data(), out.data()) != 1)
    throw Error(ErrorCode::encryptionFailed);
  out.resize(ivSize + text.size() + 16);
  int n1 = 0, n2 = 0;
  if (EVP_EncryptUpdate(ctx.get(), out.data() + ivSize, &n1, reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + ivSize + n1, &n2) != 1)
    throw Error(ErrorCode::encryptionFailed);
  out.resize(ivSize + static_cast<std::size_t>(n1) + static_cast<std::size_t>(n2));
  return out;
}

std::string AES::decrypt(const util::Bytes& data) const {
  if (data.size() < ivSize + 16 || (data.size() - ivSize) % 16 != 0) throw Error(ErrorCode::decryptionFailed);
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key_.data(), data.data()) != 1)
    throw Error(ErrorCode::decryptionFailed);
  std::string out(data.size(), '\0');
  int n1 = 0, n2 = 0;
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_DecryptUpdate(ctx.get(), o, &n1, data.data() + ivSize, static_cast<int>(data.size() - ivSize)) != 1 ||
      EVP_DecryptFinal_ex(ctx.get(), o + n1, &n2) != 1)
    throw Error(ErrorCode::decryptionFailed);
  out.resize(static_cast<std::size_t>(n1) + static_cast<std::size_t>(n2));
  if (!util::isValidUtf8(out)) throw Error(ErrorCode::dataToStringFailed);
  return out;
}

}  // namespace penvora::core::engine
