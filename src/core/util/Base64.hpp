#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

// Standard alphabet, "=" padding, no line breaks.
std::string base64Encode(const std::uint8_t* data, std::size_t size);
inline std::string base64Encode(const Bytes& b) { return base64Encode(b.data(), b.size()); }
inline std::string base64Encode(std::string_view s) {
  return base64Encode(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Strict decoding: only the alphabet, length a multiple of 4, padding only
// at the end. Nothing on any deviation.
std::optional<Bytes> base64Decode(std::string_view text);

// Lenient decoding: characters outside the alphabet are skipped, then the
// rest must form valid base64 (padding optional at the very end).
std::optional<Bytes> base64DecodeIgnoringUnknown(std::string_view text);

}  // namespace penvora::core::util
