#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace penvora::core::util {

using Bytes = std::vector<std::uint8_t>;

inline Bytes toBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline std::string toString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(std::string_view s);

}  // namespace penvora::core::util
