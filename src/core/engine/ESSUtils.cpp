#include "core/engine/ESSUtils.hpp"

#include <charconv>
#include <cstring>

#include "core/util/Base64.hpp"
#include "core/util/Zlib.hpp"
#include "penvora/Log.hpp"

namespace penvora::core::engine {

std::optional<util::Bytes> ESSUtils::compress(const util::Bytes& input) {
  // A raw DEFLATE (windowBits -15) framed by hand, so the header is always
  // 78 DA whatever zlib would choose for the level.
  auto deflated = util::rawDeflate(util::asChars(input), 9);
  if (!deflated) return std::nullopt;
  util::Bytes out{0x78, 0xDA};
  out.insert(out.end(), deflated->begin(), deflated->end());
  const std::uint32_t adler = util::adler32(util::asChars(input));
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<std::uint8_t>((adler >> shift) & 0xFF));
  return out;
}

util::Bytes ESSUtils::derTagged(std::uint8_t tag, const std::optional<util::Bytes>& bytes) {
  if (!bytes) return util::Bytes{tag, 0x00};
  const std::size_t n = bytes->size();
  if (n > 0xFFFFFF) {
    penvora::log("The data is too long");
    return *bytes;
  }
  util::Bytes out;
  out.reserve(n + 5);
  out.push_back(tag);
  if (n < 128) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else if (n <= 0xFF) {
    out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
  } else if (n <= 0xFFFF) {
    out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x83, static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(n)});
  }
  out.insert(out.end(), bytes->begin(), bytes->end());
  return out;
}

std::int64_t ESSUtils::parseInteger(std::string_view text, std::int64_t fallback) {
  if (text.empty()) return fallback;
  std::string_view digits = text;
  bool negative = false;
  if (digits[0] == '+' || digits[0] == '-') {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return fallback;
  for (char c : digits)
    if (c < '0' || c > '9') return fallback;
  // Parse with the sign so INT64_MIN is reachable.
  std::string signedText = negative ? "-" + std::string(digits) : std::string(digits);
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(signedText.data(), signedText.data() + signedText.size(), v);
  if (ec != std::errc() || ptr != signedText.data() + signedText.size()) return fallback;
  return v;
}

std::vector<std::string> ESSUtils::split(std::string_view text, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    auto pos = text.find(sep, start);
    if (pos == std::string_view::npos) {
      out.emplace_back(text.substr(start));
      return out;
    }
    out.emplace_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

namespace {

void put16(util::Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

bool inUnsigned16(std::int64_t v) { return v >= 0 && v <= 0xFFFF; }
bool inSigned16(std::int64_t v) { return v >= -32768 && v <= 32767; }

}  // namespace

std::string ESSUtils::pointsToBinary(const std::vector<std::string>& lines) {
  // Fewer than three lines or more than 65535 point lines cannot be
  // encoded; neither comes from our record writer.
  if (lines.size() < 3 || lines.size() - 3 > 0xFFFF) return {};
  auto header = split(lines[1], ';');
  auto field = [&](std::size_t i) { return i < header.size() ? parseInteger(header[i], 0) : 0; };
  const std::int64_t maxX = field(0), maxY = field(1), maxPress = field(2);
  if (!inUnsigned16(maxX) || !inUnsigned16(maxY) || !inUnsigned16(maxPress)) return {};

  util::Bytes out;
  out.reserve(35 + (lines.size() - 3) * 8);
  const std::uint8_t fixedHead[] = {'S', 'D', 'I', 0x00, ' ', '1', '0', 0x00, 0xC0, 0xC0};
  out.insert(out.end(), std::begin(fixedHead), std::end(fixedHead));
  for (std::int64_t v : {maxX, maxY, maxPress}) {
    out.insert(out.end(), {0x60, 0x00, 0x00});
    put16(out, static_cast<std::uint32_t>(v));
  }
  out.insert(out.end(), {0x60, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00});
  put16(out, static_cast<std::uint32_t>(lines.size() - 3));

  for (std::size_t i = 3; i < lines.size(); ++i) {
    auto f = split(lines[i], ';');
    if (f.size() != 5) continue;
    const std::int64_t x = parseInteger(f[0], -1), y = parseInteger(f[1], -1);
    const std::int64_t press = parseInteger(f[2], -1), time = parseInteger(f[4], -1);
    // -1 marks a field that did not parse; readers of the layout take a
    // written -1 the same way, so such a row is skipped too.
    if (x == -1 || y == -1 || press == -1 || time == -1) continue;
    if (!inSigned16(x) || !inSigned16(y) || !inUnsigned16(press) || !inUnsigned16(time)) continue;
    put16(out, static_cast<std::uint32_t>(x + 32768));
    put16(out, static_cast<std::uint32_t>(y + 32768));
    put16(out, static_cast<std::uint32_t>(press));
    put16(out, static_cast<std::uint32_t>(time));
  }
  return util::base64Encode(out);
}

}  // namespace penvora::core::engine
