#include "core/util/UrlUserinfo.hpp"

#include "core/util/Hex.hpp"

#include <algorithm>

namespace penvora::core::util {

std::string userinfoEscaped(std::string_view text, bool userName) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool escape = c <= 0x20 || c == 0x7f || ch == '%' || ch == '@' || ch == '/' || ch == '?' || ch == '#' ||
                        ch == '\\' || (userName && ch == ':');
    out += escape ? "%" + hexEncode(std::string_view(&ch, 1)) : std::string(1, ch);
  }
  return out;
}

std::size_t userinfoEnd(std::string_view url) {
  const auto scheme = url.find("://");
  if (scheme == std::string_view::npos) return std::string_view::npos;
  const auto hostStart = scheme + 3;
  // The authority ends at the first "/", "?" or "#": an "@" after it
  // belongs to the path or the query.
  const auto at = url.substr(0, url.find_first_of("/?#", hostStart)).rfind('@');
  return at == std::string_view::npos || at < hostStart ? std::string_view::npos : at;
}

std::string withoutUserinfo(std::string_view url) {
  // Errs on hiding: up to the last "@" of all, so a password written
  // unescaped, "/", "?" and all, or in an address without a scheme, is
  // hidden whole too.
  const auto scheme = url.find("://");
  const auto start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const auto at = url.rfind('@');
  if (at == std::string_view::npos || at < start) return std::string(url);
  return std::string(url.substr(0, start)) + "***" + std::string(url.substr(at));
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = text[i] == '%' ? hexDecode(text.substr(i + 1, 2)) : std::nullopt;
    if (byte && byte->size() == 1) {
      out += *byte;
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace penvora::core::util
