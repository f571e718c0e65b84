#pragma once
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QPDF;
class QPDFObjectHandle;

namespace penvora::core::document {

class FontTextDecoding;

// The text each text-showing operator of a page draws (Tj, TJ, ' and ",
// form XObjects included), decoded to Unicode as a reader decodes it, one
// string per operator in content order. A reader's page text is made of
// these runs, each whole or left out, in some order, with spaces and line
// breaks put between them: a text no sequence of runs can spell is not on
// the page, and the page need not be given to the reader to look for it.
// None for a page this cannot vouch for (a font or code without a known
// decoding, replacement text in marked content, overstruck characters, a
// damaged stream): such a page must be read by the reader.
using PageTextRuns = std::optional<std::vector<std::u32string>>;

class PageTextRunReader {
 public:
  explicit PageTextRunReader(QPDF& pdf);
  ~PageTextRunReader();
  PageTextRunReader(const PageTextRunReader&) = delete;
  PageTextRunReader& operator=(const PageTextRunReader&) = delete;

  PageTextRuns runsOf(std::size_t pageIndex);

 private:
  struct Walk;
  bool walk(const std::string& content, QPDFObjectHandle resources, Walk& walk);
  std::shared_ptr<const FontTextDecoding> font(QPDFObjectHandle resources, const std::string& name);

  QPDF& pdf_;
  // A font shared by many pages is read once.
  std::map<std::pair<int, int>, std::shared_ptr<const FontTextDecoding>> fonts_;
  int directFontsRead_ = 0;  // on the page being read
  // ToUnicode entries all kept fonts may hold (some 60 MB), against
  // documents of many fonts with big maps.
  std::size_t toUnicodeBudget_ = std::size_t{1} << 20;
};

}  // namespace penvora::core::document
