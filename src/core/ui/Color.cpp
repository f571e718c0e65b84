#include "penvora/Color.hpp"

#include <cctype>
#include <clocale>
#include <cwctype>
#include <vector>

#include <locale.h>
#include <wctype.h>

namespace penvora {

namespace {

// One character of UTF-8 text: its code point and its bytes. A byte that
// starts no valid sequence is a character of its own (and no letter).
struct Character {
  char32_t code;
  std::size_t size;
};

Character characterAt(std::string_view t, std::size_t i) {
  const auto b = static_cast<unsigned char>(t[i]);
  const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > t.size()) return {0xFFFD, 1};
  char32_t code = n == 1 ? b : b & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(t[i + k]);
    if ((c & 0xC0) != 0x80) return {0xFFFD, 1};
    code = (code << 6) | (c & 0x3F);
  }
  return {code, n};
}

// Letters and digits of any script, as a person reads them.
bool isLetterOrDigit(char32_t c) {
  if (c < 0x80) return std::isalnum(static_cast<int>(c)) != 0;
  if (c == 0xFFFD) return false;
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return unicode ? iswalnum_l(static_cast<wint_t>(c), unicode) != 0 : true;
}

}  // namespace

Rgba colorFromHex(std::string_view text) {
  // Trim characters (not bytes) that are neither letters nor digits from
  // both ends, and count the characters left: that count picks the layout.
  std::vector<Character> chars;
  for (std::size_t i = 0; i < text.size();) {
    chars.push_back(characterAt(text, i));
    i += chars.back().size;
  }
  std::size_t b = 0, e = chars.size(), from = 0;
  while (b < e && !isLetterOrDigit(chars[b].code)) from += chars[b++].size;
  while (e > b && !isLetterOrDigit(chars[e - 1].code)) --e;
  std::size_t bytes = 0;
  for (std::size_t k = b; k < e; ++k) bytes += chars[k].size;
  const std::string_view t = text.substr(from, bytes);
  const std::size_t length = e - b;

  // Scan like a hexadecimal scanner: stop at the first non-hex character;
  // overflow saturates (only the length decides the layout anyway).
  std::uint64_t v = 0;
  for (char c : t) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    if (v > (UINT64_MAX >> 4)) {
      v = UINT64_MAX;
      break;
    }
    v = (v << 4) | static_cast<std::uint64_t>(d);
  }

  Rgba c;
  switch (length) {
    case 3:
      c.red = static_cast<std::uint8_t>(((v >> 8) & 0xF) * 17);
      c.green = static_cast<std::uint8_t>(((v >> 4) & 0xF) * 17);
      c.blue = static_cast<std::uint8_t>((v & 0xF) * 17);
      break;
    case 6:
      c.red = static_cast<std::uint8_t>((v >> 16) & 0xFF);
      c.green = static_cast<std::uint8_t>((v >> 8) & 0xFF);
      c.blue = static_cast<std::uint8_t>(v & 0xFF);
      break;
    case 8:
      c.alpha = static_cast<std::uint8_t>((v >> 24) & 0xFF);
      c.red = static_cast<std::uint8_t>((v >> 16) & 0xFF);
      c.green = static_cast<std::uint8_t>((v >> 8) & 0xFF);
      c.blue = static_cast<std::uint8_t>(v & 0xFF);
      break;
    default:
      break;  // opaque black
  }
  return c;
}

}  // namespace penvora
