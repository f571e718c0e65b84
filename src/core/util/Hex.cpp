#include "core/util/Hex.hpp"

namespace penvora::core::util {
namespace {

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

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
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::string hexDecodeLeading(std::string_view hex) {
  std::size_t n = 0;
  while (n < hex.size() && digitValue(hex[n]) >= 0) ++n;
  return *hexDecode(hex.substr(0, n - n % 2));
}

}  // namespace penvora::core::util
