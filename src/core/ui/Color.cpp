#include "penvora/Color.hpp"

#include <cctype>

namespace penvora {

Rgba colorFromHex(std::string_view text) {
  auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  std::size_t b = 0, e = text.size();
  while (b < e && !alnum(text[b])) ++b;
  while (e > b && !alnum(text[e - 1])) --e;
  std::string_view t = text.substr(b, e - b);

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
  switch (t.size()) {
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
