#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

class QPDFObjectHandle;

namespace penvora::core::document {

// How the bytes of a string shown in one font become Unicode, as a PDF
// reader decodes them for its page text: the font's ToUnicode map first,
// then its encoding (a named one with /Differences by Latin glyph names).
// A code with neither reading here has no decoding: a reader would fall
// back to something of its own, which this does not guess.
class FontTextDecoding {
 public:
  // None for a font no code of which can be read alike: a CID font with a
  // CMap other than Identity-H/V or without ToUnicode, a damaged map.
  // `entryBudget`, the ToUnicode entries the caller still allows (maps
  // are kept, so a document of many fonts is bounded as a whole), is
  // lessened by this font's.
  static std::shared_ptr<const FontTextDecoding> of(QPDFObjectHandle font, std::size_t& entryBudget);

  // Appends the characters of `bytes`; false when one code has no decoding.
  bool decode(std::string_view bytes, std::u32string& out) const;

 private:
  bool readToUnicode(QPDFObjectHandle stream, std::size_t& entryBudget);
  void readEncoding(QPDFObjectHandle font);

  int codeBytes_ = 1;
  // Code -> characters; an empty value marks a code the map gives a
  // reading this does not reproduce.
  std::unordered_map<std::uint32_t, std::u32string> toUnicode_;
  std::array<char32_t, 256> encoding_{};
};

}  // namespace penvora::core::document
