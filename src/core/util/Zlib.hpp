#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

inline std::string_view asChars(const Bytes& b) {
  return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
}

// A zlib stream (RFC 1950) at `level` (0 to 9); nothing when zlib fails
// (out of memory).
std::optional<std::string> zlibCompress(std::string_view data, int level);

// Raw DEFLATE data (RFC 1951) at `level`, 32 KiB window, no header or
// checksum; nothing when zlib fails.
std::optional<Bytes> rawDeflate(std::string_view data, int level);

// The content of a zlib stream; nothing when it is damaged, truncated or
// would inflate to more than `maxSize` bytes.
std::optional<Bytes> zlibInflate(std::string_view stream, std::size_t maxSize);

std::uint32_t adler32(std::string_view data);
std::uint32_t crc32(std::string_view data);

}  // namespace penvora::core::util
