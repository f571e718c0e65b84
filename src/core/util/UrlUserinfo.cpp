#include "core/util/UrlUserinfo.hpp"

#include "core/util/Hex.hpp"

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
