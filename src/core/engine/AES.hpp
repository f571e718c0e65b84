#pragma once
#include <stdexcept>
#include <string>

#include "core/engine/Cryptable.hpp"

namespace penvora::core::engine {

// The component decryption routine: AES-256-CBC with PKCS#7 padding, the IV
// in the first 16 bytes of the data, over the 32 UTF-8 bytes of the
// component key. Opens the default identity, its password and the default
// encryption certificate.
class AES final : public Cryptable {
 public:
  enum class ErrorCode {
    invalidKeySize,
    generateRandomIVFailed,
    encryptionFailed,
    decryptionFailed,
    dataToStringFailed
  };

  class Error : public std::runtime_error {
   public:
    explicit Error(ErrorCode code);
    ErrorCode code() const { return code_; }

   private:
    ErrorCode code_;
  };

  // Throws Error(invalidKeySize) unless the key has exactly 32 bytes.
  explicit AES(const std::string& key);

  util::Bytes encrypt(const std::string& text) const override;
  std::string decrypt(const util::Bytes& data) const override;

  static constexpr std::size_t ivSize = 16;

 private:
  util::Bytes key_;
};

const char* toString(AES::ErrorCode code);

}  // namespace penvora::core::engine
