#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "core/util/Bytes.hpp"

namespace penvora::base64 {

// Standard alphabet, "=" padding, no line breaks.
std::string encode(const std::uint8_t* data, std::size_t size);
inline std::string encode(const Bytes& b) { return encode(b.data(), b.size()); }
inline std::string encode(std::string_view s) {
  return encode(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Strict decoding: only the alphabet, length a multiple of 4, padding only
// at the end. Nothing on any deviation.
std::optional<Bytes> decode(std::string_view text);

// Lenient decoding: characters outside the alphabet are skipped, then the
// rest must form valid base64 (padding optional at the very end).
std::optional<Bytes> decodeIgnoringUnknown(std::string_view text);

}  // namespace penvora::base64
