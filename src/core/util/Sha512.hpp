#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

// SHA-512 as 128 lowercase hexadecimal digits; empty when OpenSSL fails
// (out of memory).
std::string sha512Hex(const std::uint8_t* data, std::size_t size);
inline std::string sha512Hex(const Bytes& b) { return sha512Hex(b.data(), b.size()); }

// SHA-512 of data given in parts.
class Sha512Stream {
 public:
  Sha512Stream();
  ~Sha512Stream();
  void update(const void* data, std::size_t size);
  // The digest of everything given; empty when OpenSSL failed.
  std::string hex();

 private:
  struct Context;
  std::unique_ptr<Context> ctx_;
};

// SHA-512 of a file streamed in blocks (documents can be large); nothing
// when it cannot be read.
std::optional<std::string> sha512HexOfFile(const std::string& path);

}  // namespace penvora::core::util
