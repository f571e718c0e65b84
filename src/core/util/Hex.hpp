#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

enum class HexCase { Upper, Lower };

// Two hexadecimal digits per byte.
std::string hexEncode(std::string_view bytes, HexCase letters = HexCase::Upper);
inline std::string hexEncode(const Bytes& b, HexCase letters = HexCase::Upper) {
  return hexEncode(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()), letters);
}
inline std::string hexEncode(const std::uint8_t* data, std::size_t size, HexCase letters = HexCase::Upper) {
  return hexEncode(std::string_view(reinterpret_cast<const char*>(data), size), letters);
}

// Strict decoding: an even number of digits of either case, nothing else.
std::optional<std::string> hexDecode(std::string_view hex);

// The bytes of the leading whole pairs of digits; decoding stops at the
// first character that is not a digit.
std::string hexDecodeLeading(std::string_view hex);

}  // namespace penvora::core::util
