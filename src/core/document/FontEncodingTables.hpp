#pragma once
#include <array>
#include <string_view>

namespace penvora::core::document {

// The single-byte encodings a PDF font may name, code -> Unicode. 0 marks a
// code left undefined, or one that readers do not all read alike.
extern const std::array<char32_t, 256> kStandardEncoding;
extern const std::array<char32_t, 256> kWinAnsiEncoding;
extern const std::array<char32_t, 256> kMacRomanEncoding;

struct GlyphName {
  std::string_view name;
  char32_t unicode;
};
// The Latin glyph names of those encodings, sorted by name.
extern const std::array<GlyphName, 280> kLatinGlyphNames;

}  // namespace penvora::core::document
