#include "core/util/UrlUserinfo.hpp"

namespace penvora::core::util {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string userinfoEscaped(std::string_view text, bool userName) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool escape = c <= 0x20 || c == 0x7f || ch == '%' || ch == '@' || ch == '/' || ch == '?' || ch == '#' ||
                        ch == '\\' || (userName && ch == ':');
    if (!escape) {
      out += ch;
      continue;
    }
    out += '%';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string withoutUserinfo(std::string_view url) {
  const auto scheme = url.find("://");
  if (scheme == std::string_view::npos) return std::string(url);
  const auto hostStart = scheme + 3;
  const auto at = url.substr(0, url.find_first_of("?#", hostStart)).rfind('@');
  if (at == std::string_view::npos || at < hostStart) return std::string(url);
  return std::string(url.substr(0, hostStart)) + "***" + std::string(url.substr(at));
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int hi = text[i] == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
    const int lo = hi >= 0 ? hexValue(text[i + 2]) : -1;
    if (lo < 0) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

}  // namespace penvora::core::util
