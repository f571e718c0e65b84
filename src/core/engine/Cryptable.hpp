#pragma once
#include <string>

#include "core/util/Bytes.hpp"

namespace penvora::core::engine {

// A routine that can encipher a text and decipher it back.
class Cryptable {
 public:
  virtual ~Cryptable() = default;
  virtual util::Bytes encrypt(const std::string& text) const = 0;  // IV || ciphertext
  virtual std::string decrypt(const util::Bytes& data) const = 0;  // throws on failure
};

}  // namespace penvora::core::engine
