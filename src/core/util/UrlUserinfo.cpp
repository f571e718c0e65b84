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
  // The last "@" before the path, or before the query: whichever is later,
  // so a "/", "?" or "#" left unescaped in a password still counts as part
  // of it, for sending and for hiding alike.
  auto lastAtBefore = [&](std::string_view stops) {
    const auto at = url.substr(0, url.find_first_of(stops, hostStart)).rfind('@');
    return at == std::string_view::npos || at < hostStart ? std::string_view::npos : at;
  };
  const auto beforePath = lastAtBefore("/"), beforeQuery = lastAtBefore("?#");
  if (beforePath == std::string_view::npos) return beforeQuery;
  if (beforeQuery == std::string_view::npos) return beforePath;
  return std::max(beforePath, beforeQuery);
}

std::string withoutUserinfo(std::string_view url) {
  // Errs on hiding: up to the last "@" of all, so a password that cannot
  // be told from the path (a "/" and a "?" in it) is hidden whole too.
  const auto scheme = url.find("://");
  const auto at = scheme == std::string_view::npos ? scheme : url.rfind('@');
  if (at == std::string_view::npos || at < scheme + 3) return std::string(url);
  return std::string(url.substr(0, url.find("://") + 3)) + "***" + std::string(url.substr(at));
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
