#include "core/document/FontTextDecoding.hpp"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <cctype>
#include <vector>

#include "core/document/FontEncodingTables.hpp"
#include "core/securepdf/BoundedStringPipeline.hpp"

namespace penvora::core::document {
namespace {

// Bounds on a hostile ToUnicode map: one range, and the whole map.
constexpr std::uint32_t kMaxRange = 1u << 16;
constexpr std::size_t kMaxEntries = 1u << 17;  // two-byte codes, and room
constexpr std::size_t kMaxMapBytes = 8u << 20;

std::uint32_t codeOf(const std::string& bytes) {
  std::uint32_t code = 0;
  for (unsigned char b : bytes) code = (code << 8) | b;
  return code;
}

// UTF-16BE as the map writes its targets; empty when it is not well formed
// or holds U+0000, which readers take for "no reading" and replace.
std::u32string fromUtf16(const std::string& bytes) {
  std::u32string out;
  if (bytes.empty() || bytes.size() % 2) return out;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = (static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1]);
    if (unit >= 0xD800 && unit < 0xDC00) {
      if (i + 3 >= bytes.size()) return {};
      const char32_t low = (static_cast<unsigned char>(bytes[i + 2]) << 8) | static_cast<unsigned char>(bytes[i + 3]);
      if (low < 0xDC00 || low >= 0xE000) return {};
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if ((unit >= 0xDC00 && unit < 0xE000) || unit == 0) {
      return {};
    }
    out.push_back(unit);
  }
  return out;
}

char32_t unicodeOfGlyphName(const std::string& name) {
  auto it = std::lower_bound(kLatinGlyphNames.begin(), kLatinGlyphNames.end(), name,
                             [](const GlyphName& g, const std::string& n) { return g.name < n; });
  if (it != kLatinGlyphNames.end() && it->name == name) return it->unicode;
  // uniXXXX and uXXXX[XX]; longer uni names spell several characters,
  // which readers split differently.
  auto hex = [](std::string_view digits) -> char32_t {
    if (digits.empty() || digits.size() > 6) return 0;
    char32_t value = 0;
    for (char c : digits) {
      if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c))) return 0;
      value = value * 16 + static_cast<char32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10);
    }
    return (value >= 0xD800 && value < 0xE000) || value > 0x10FFFF ? 0 : value;
  };
  if (name.size() == 7 && name.compare(0, 3, "uni") == 0) return hex(std::string_view(name).substr(3));
  if (name.size() >= 5 && name.size() <= 7 && name[0] == 'u') return hex(std::string_view(name).substr(1));
  return 0;
}

const std::array<char32_t, 256>* namedEncoding(const std::string& name) {
  if (name == "/WinAnsiEncoding") return &kWinAnsiEncoding;
  if (name == "/MacRomanEncoding") return &kMacRomanEncoding;
  if (name == "/StandardEncoding") return &kStandardEncoding;
  return nullptr;
}

// The Latin base-14 fonts, whose own encoding is the standard one.
bool isStandardLatinFont(std::string name) {
  if (auto plus = name.find('+'); plus == 7) name.erase(1, 7);
  for (const char* family : {"/Helvetica", "/Times", "/Courier"})
    if (name.rfind(family, 0) == 0) return true;
  return false;
}

bool isSymbolFont(std::string name) {
  if (const auto plus = name.find('+'); plus == 7) name.erase(1, 7);
  return name.rfind("/Symbol", 0) == 0 || name.rfind("/ZapfDingbats", 0) == 0;
}

}  // namespace

std::shared_ptr<const FontTextDecoding> FontTextDecoding::of(QPDFObjectHandle font, std::size_t& entryBudget) {
  if (!font.isDictionary()) return nullptr;
  auto decoding = std::shared_ptr<FontTextDecoding>(new FontTextDecoding());
  auto toUnicode = font.getKey("/ToUnicode");
  if (toUnicode.isStream() && !decoding->readToUnicode(toUnicode, entryBudget)) return nullptr;
  if (font.getKey("/Subtype").isNameAndEquals("/Type0")) {
    auto encoding = font.getKey("/Encoding");
    if (!(encoding.isNameAndEquals("/Identity-H") || encoding.isNameAndEquals("/Identity-V"))) return nullptr;
    if (decoding->toUnicode_.empty()) return nullptr;
    decoding->codeBytes_ = 2;
    return decoding;
  }
  decoding->readEncoding(font);
  return decoding;
}

void FontTextDecoding::readEncoding(QPDFObjectHandle font) {
  // The codes of a Type3 font, of Symbol and ZapfDingbats, or of a
  // symbolic TrueType font select glyphs, not characters, and readers name
  // them each their own way: only a ToUnicode map reads them.
  auto subtype = font.getKey("/Subtype");
  if (subtype.isNameAndEquals("/Type3")) return;
  auto baseFont = font.getKey("/BaseFont");
  if (baseFont.isName() && isSymbolFont(baseFont.getName())) return;
  auto descriptor = font.getKey("/FontDescriptor");
  bool symbolic = false;
  if (descriptor.isDictionary()) {
    auto flags = descriptor.getKey("/Flags");
    symbolic = flags.isInteger() && (flags.getIntValue() & 4);
  }
  const bool type1 = subtype.isNameAndEquals("/Type1") || subtype.isNameAndEquals("/MMType1");
  if (symbolic && !type1) return;
  const bool embedded =
      descriptor.isDictionary() &&
      (descriptor.hasKey("/FontFile") || descriptor.hasKey("/FontFile2") || descriptor.hasKey("/FontFile3"));
  const bool standardBuiltIn = type1 && !embedded && baseFont.isName() && isStandardLatinFont(baseFont.getName());

  // A symbolic Type1 font (as TeX marks every font it embeds) is read by
  // the glyph names its /Differences give, and by nothing else.
  auto encoding = font.getKey("/Encoding");
  const std::array<char32_t, 256>* base = standardBuiltIn && !symbolic ? &kStandardEncoding : nullptr;
  if (!symbolic) {
    if (encoding.isName()) {
      base = namedEncoding(encoding.getName());
    } else if (encoding.isDictionary()) {
      auto baseName = encoding.getKey("/BaseEncoding");
      if (baseName.isName()) base = namedEncoding(baseName.getName());
    }
  }
  if (base) encoding_ = *base;
  if (!encoding.isDictionary()) return;
  auto differences = encoding.getKey("/Differences");
  if (!differences.isArray()) return;
  long long code = -1;
  for (auto item : differences.aitems()) {
    if (item.isInteger()) {
      code = item.getIntValue();
    } else if (item.isName() && code >= 0 && code < 256) {
      encoding_[static_cast<std::size_t>(code++)] = unicodeOfGlyphName(item.getName().substr(1));
    } else {
      ++code;
    }
  }
}

bool FontTextDecoding::readToUnicode(QPDFObjectHandle stream, std::size_t& entryBudget) {
  const auto text = securepdf::decodedUpTo(stream, kMaxMapBytes);
  if (!text) return false;
  auto input = std::make_shared<BufferInputSource>("ToUnicode", *text);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  enum class Section { none, bfchar, bfrange } section = Section::none;
  std::vector<QPDFTokenizer::Token> operands;
  bool inArray = false;
  std::vector<std::string> array;
  auto add = [&](std::uint32_t code, std::u32string chars) {
    if (toUnicode_.size() >= kMaxEntries || entryBudget == 0) return false;
    --entryBudget;
    toUnicode_[code] = std::move(chars);
    return true;
  };
  try {
    for (;;) {
      auto token = tokenizer.readToken(input, "ToUnicode", true);
      auto type = token.getType();
      if (type == QPDFTokenizer::tt_eof) break;
      if (type == QPDFTokenizer::tt_bad) return false;
      if (type == QPDFTokenizer::tt_array_open) {
        inArray = true;
        array.clear();
        continue;
      }
      if (type == QPDFTokenizer::tt_array_close)
        inArray = false;
      else if (inArray) {
        if (type == QPDFTokenizer::tt_string) array.push_back(token.getValue());
        if (array.size() > kMaxRange) return false;
        continue;
      }
      if (type != QPDFTokenizer::tt_word) {
        // Outside the mapping sections only the last few operands matter.
        if (section == Section::none && operands.size() >= 8) operands.clear();
        operands.push_back(token);
        if (section == Section::bfchar && operands.size() == 2) {
          if (operands[0].getType() == QPDFTokenizer::tt_string) {
            const auto& target = operands[1];
            if (!add(codeOf(operands[0].getValue()),
                     target.getType() == QPDFTokenizer::tt_string ? fromUtf16(target.getValue()) : std::u32string()))
              return false;
          }
          operands.clear();
        } else if (section == Section::bfrange && operands.size() == 3) {
          const auto& lo = operands[0];
          const auto& hi = operands[1];
          const auto& target = operands[2];
          if (lo.getType() == QPDFTokenizer::tt_string && hi.getType() == QPDFTokenizer::tt_string) {
            auto first = codeOf(lo.getValue()), last = codeOf(hi.getValue());
            if (last < first || last - first >= kMaxRange) return false;
            if (target.getType() == QPDFTokenizer::tt_array_close) {
              for (std::uint32_t c = first; c <= last; ++c)
                if (!add(c, c - first < array.size() ? fromUtf16(array[c - first]) : std::u32string())) return false;
            } else {
              // Readers step the last character of the target; a target
              // of several characters is stepped differently by some.
              auto start =
                  target.getType() == QPDFTokenizer::tt_string ? fromUtf16(target.getValue()) : std::u32string();
              for (std::uint32_t c = first; c <= last; ++c) {
                std::u32string chars;
                if (start.size() == 1 && start[0] + (c - first) < 0xD800) chars.push_back(start[0] + (c - first));
                if (!add(c, std::move(chars))) return false;
              }
            }
          }
          operands.clear();
        }
        continue;
      }
      const auto& word = token.getValue();
      if (word == "beginbfchar")
        section = Section::bfchar;
      else if (word == "beginbfrange")
        section = Section::bfrange;
      else if (word == "endbfchar" || word == "endbfrange")
        section = Section::none;
      else if (word == "usecmap")
        return false;
      operands.clear();
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool FontTextDecoding::decode(std::string_view bytes, std::u32string& out) const {
  if (bytes.size() % static_cast<std::size_t>(codeBytes_)) return false;
  for (std::size_t i = 0; i < bytes.size(); i += static_cast<std::size_t>(codeBytes_)) {
    std::uint32_t code = static_cast<unsigned char>(bytes[i]);
    if (codeBytes_ == 2) code = (code << 8) | static_cast<unsigned char>(bytes[i + 1]);
    if (!toUnicode_.empty()) {
      if (auto it = toUnicode_.find(code); it != toUnicode_.end()) {
        if (it->second.empty()) return false;
        out += it->second;
        continue;
      }
    }
    if (codeBytes_ != 1 || !encoding_[code]) return false;
    out.push_back(encoding_[code]);
  }
  return true;
}

}  // namespace penvora::core::document
