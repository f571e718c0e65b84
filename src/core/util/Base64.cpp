#include "core/util/Base64.hpp"

#include <array>

namespace penvora::core::util {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeTable() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return t;
}
constexpr auto kTable = makeTable();

// Decodes symbols (no padding, no foreign characters) of a length that is
// not 1 mod 4; unused trailing bits must be zero like a canonical encoder's.
std::optional<Bytes> decodeSymbols(std::string_view s) {
  if (s.size() % 4 == 1) return std::nullopt;
  Bytes out(s.size() / 4 * 3 + (s.size() % 4 ? s.size() % 4 - 1 : 0));
  const auto sym = [&](std::size_t i) { return static_cast<std::uint32_t>(kTable[static_cast<unsigned char>(s[i])]); };
  // Four symbols make three bytes; records and pictures are megabytes.
  std::size_t i = 0, o = 0;
  for (; i + 4 <= s.size(); i += 4, o += 3) {
    const std::uint32_t v = (sym(i) << 18) | (sym(i + 1) << 12) | (sym(i + 2) << 6) | sym(i + 3);
    out[o] = static_cast<std::uint8_t>(v >> 16);
    out[o + 1] = static_cast<std::uint8_t>(v >> 8);
    out[o + 2] = static_cast<std::uint8_t>(v);
  }
  const std::size_t rest = s.size() - i;
  if (rest == 0) return out;
  std::uint32_t acc = 0;
  for (std::size_t k = 0; k < rest; ++k) acc = (acc << 6) | sym(i + k);
  const int bits = static_cast<int>(rest) * 6 % 8;  // 4 after two symbols, 2 after three
  // Unused trailing bits must be zero like a canonical encoder's.
  if (acc & ((1u << bits) - 1)) return std::nullopt;
  acc >>= bits;
  for (std::size_t k = rest - 1; k-- > 0;) out[o++] = static_cast<std::uint8_t>(acc >> (8 * k));
  return out;
}

}  // namespace

std::string base64Encode(const std::uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < size; i += 3) {
    std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (size - i == 1) {
    std::uint32_t v = data[i] << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (size - i == 2) {
    std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t pad = 0;
  while (pad < 2 && pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;
  std::string_view body = text.substr(0, text.size() - pad);
  for (char c : body)
    if (kTable[static_cast<unsigned char>(c)] < 0) return std::nullopt;
  return decodeSymbols(body);
}

std::optional<Bytes> base64DecodeIgnoringUnknown(std::string_view text) {
  std::string symbols;
  symbols.reserve(text.size());
  std::size_t pad = 0;
  for (char c : text) {
    if (c == '=') {
      ++pad;
      continue;
    }
    if (kTable[static_cast<unsigned char>(c)] < 0) continue;
    if (pad) return std::nullopt;  // data after padding
    symbols += c;
  }
  // Unknown characters aside, the text is whole groups of four, padding
  // included, as the standard form and the platform decoders want it.
  if ((symbols.size() + pad) % 4 != 0) return std::nullopt;
  return decodeSymbols(symbols);
}

}  // namespace penvora::core::util
