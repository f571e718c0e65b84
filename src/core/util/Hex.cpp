#include "core/util/Hex.hpp"

#include <array>
#include <cstdint>

namespace penvora::core::util {
namespace {

// Widget pictures pass through here as hex, megabytes of it: one table
// lookup per digit instead of three range tests.
constexpr std::array<std::int8_t, 256> makeDigitTable() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
  return t;
}
constexpr auto kDigitTable = makeDigitTable();

int digitValue(char c) { return kDigitTable[static_cast<unsigned char>(c)]; }

}  // namespace

std::string hexEncode(std::string_view bytes, HexCase letters) {
  const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string s(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    s[2 * i] = digits[b >> 4];
    s[2 * i + 1] = digits[b & 15];
  }
  return s;
}

std::optional<std::string> hexDecode(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string out(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = digitValue(hex[2 * i]), lo = digitValue(hex[2 * i + 1]);
    if ((hi | lo) < 0) return std::nullopt;
    out[i] = static_cast<char>((hi << 4) | lo);
  }
  return out;
}

std::string hexDecodeLeading(std::string_view hex) {
  std::size_t n = 0;
  while (n < hex.size() && digitValue(hex[n]) >= 0) ++n;
  return *hexDecode(hex.substr(0, n - n % 2));
}

}  // namespace penvora::core::util
