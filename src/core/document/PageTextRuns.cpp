#include "core/document/PageTextRuns.hpp"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <charconv>
#include <memory>
#include <set>
#include <stdexcept>
#include <tuple>

#include "core/document/FontTextDecoding.hpp"
#include "core/securepdf/BoundedStringPipeline.hpp"
#include "core/securepdf/PredictorRows.hpp"

namespace penvora::core::document {
namespace {

// Content beyond this, counting a form each time it is drawn, is left to
// the reader rather than inflated and read (forms drawing forms many times
// over multiply it).
constexpr std::size_t kMaxContentBytes = 16u << 20;
// Operands before one operator; a TJ array of many pieces stays well below.
constexpr std::size_t kMaxOperands = 1u << 16;
constexpr int kMaxFormDepth = 8;
// Forms drawn on one page, repeats counted: forms that draw forms many
// times over would otherwise be walked a million times for a few bytes.
constexpr int kMaxFormsDrawn = 4096;
// Fonts written into the resources (not as objects of their own) are read
// at each Tf; past this many on one page the page is left to the reader.
constexpr int kMaxDirectFontsRead = 256;
// A TJ step back of more than a quarter em lays a character over the one
// before it (overstruck bold); readers drop such repeats one by one.
constexpr double kOverstrikeStep = 250;

bool hasReplacementText(QPDFObjectHandle properties) {
  return properties.isDictionary() && (properties.hasKey("/ActualText") || properties.hasKey("/Alt"));
}

}  // namespace

struct PageTextRunReader::Walk {
  std::vector<std::u32string> runs;
  std::set<QPDFObjGen> forms;  // the forms being walked, against cycles
  int depth = 0;
  int formsDrawn = 0;
  std::size_t contentBytes = 0;  // read so far, forms counted each time
};

PageTextRunReader::PageTextRunReader(QPDF& pdf) : pdf_(pdf) {}
PageTextRunReader::~PageTextRunReader() = default;

PageTextRuns PageTextRunReader::runsOf(std::size_t pageIndex) {
  try {
    const auto& pages = pdf_.getAllPages();
    if (pageIndex >= pages.size()) return std::nullopt;
    QPDFPageObjectHelper page(pages[pageIndex]);
    std::string content;
    securepdf::BoundedStringPipeline sink(content, kMaxContentBytes);
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    for (const auto& part : contents.isArray() ? contents.getArrayAsVector() : std::vector{contents})
      if (!securepdf::predictorRowsFit(part)) return std::nullopt;
    page.pipeContents(&sink);
    Walk walk;
    walk.contentBytes = content.size();
    directFontsRead_ = 0;
    if (!this->walk(content, page.getAttribute("/Resources", false), walk)) return std::nullopt;
    return std::move(walk.runs);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::shared_ptr<const FontTextDecoding> PageTextRunReader::font(QPDFObjectHandle resources, const std::string& name) {
  if (!resources.isDictionary()) return nullptr;
  auto fonts = resources.getKey("/Font");
  if (!fonts.isDictionary()) return nullptr;
  auto font = fonts.getKey(name);
  if (!font.isIndirect()) {
    // Not kept (it has no number to be found by): each Tf reads it again.
    if (++directFontsRead_ > kMaxDirectFontsRead) throw std::length_error("too many fonts read for one page");
    return FontTextDecoding::of(font, toUnicodeBudget_);
  }
  const auto [it, added] = fonts_.try_emplace(std::make_pair(font.getObjectID(), font.getGeneration()));
  if (added) it->second = FontTextDecoding::of(font, toUnicodeBudget_);
  return it->second;
}

bool PageTextRunReader::walk(const std::string& content, QPDFObjectHandle resources, Walk& walk) {
  auto input = std::make_shared<BufferInputSource>("content", content);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  std::vector<QPDFTokenizer::Token> operands;
  std::shared_ptr<const FontTextDecoding> font;
  bool fontSet = false;
  // The font is part of the graphics state, which q saves and Q restores.
  std::vector<std::pair<std::shared_ptr<const FontTextDecoding>, bool>> saved;
  auto show = [&](auto first, auto last) {
    if (!font) return false;
    std::u32string run;
    for (auto it = first; it != last; ++it) {
      if (it->getType() == QPDFTokenizer::tt_string) {
        if (!font->decode(it->getValue(), run)) return false;
      } else if (it->getType() == QPDFTokenizer::tt_integer || it->getType() == QPDFTokenizer::tt_real) {
        // from_chars, not strtod: the host's locale may want a decimal comma.
        double step = 0;
        const auto& number = it->getValue();
        std::from_chars(number.data(), number.data() + number.size(), step);
        if (step > kOverstrikeStep) return false;
      }
    }
    walk.runs.push_back(std::move(run));
    return true;
  };
  for (;;) {
    if (operands.size() >= kMaxOperands) return false;
    auto token = tokenizer.readToken(input, "content", true);
    switch (token.getType()) {
      case QPDFTokenizer::tt_eof:
        return true;
      case QPDFTokenizer::tt_bad:
        return false;
      case QPDFTokenizer::tt_name:
        // Marked content whose text replaces what is drawn.
        if (token.getValue() == "/ActualText" || token.getValue() == "/ReversedChars") return false;
        operands.push_back(token);
        continue;
      case QPDFTokenizer::tt_word:
        break;
      default:
        operands.push_back(token);
        continue;
    }
    const auto& op = token.getValue();
    if (op == "q") {
      if (saved.size() >= kMaxOperands) return false;
      saved.emplace_back(font, fontSet);
    } else if (op == "Q") {
      if (!saved.empty()) {
        std::tie(font, fontSet) = saved.back();
        saved.pop_back();
      }
    } else if (op == "Tf") {
      if (operands.size() < 2 || operands[operands.size() - 2].getType() != QPDFTokenizer::tt_name) return false;
      font = this->font(resources, operands[operands.size() - 2].getValue());
      fontSet = true;
    } else if (op == "Tj" || op == "'" || op == "\"") {
      if (operands.empty() || operands.back().getType() != QPDFTokenizer::tt_string || !fontSet) return false;
      if (!show(operands.end() - 1, operands.end())) return false;
    } else if (op == "TJ") {
      if (!fontSet || !show(operands.begin(), operands.end())) return false;
    } else if (op == "BDC") {
      if (operands.size() >= 2 && operands.back().getType() == QPDFTokenizer::tt_name && resources.isDictionary()) {
        auto properties = resources.getKey("/Properties");
        if (properties.isDictionary() && hasReplacementText(properties.getKey(operands.back().getValue())))
          return false;
      }
    } else if (op == "Do") {
      if (operands.empty() || operands.back().getType() != QPDFTokenizer::tt_name || !resources.isDictionary())
        return false;
      auto xobjects = resources.getKey("/XObject");
      auto xobject = xobjects.isDictionary() ? xobjects.getKey(operands.back().getValue()) : QPDFObjectHandle();
      if (xobject.isStream() && xobject.getDict().getKey("/Subtype").isNameAndEquals("/Form")) {
        if (walk.depth >= kMaxFormDepth || ++walk.formsDrawn > kMaxFormsDrawn ||
            !walk.forms.insert(xobject.getObjGen()).second)
          return false;
        const auto formContent = securepdf::decodedUpTo(xobject, kMaxContentBytes - walk.contentBytes);
        if (!formContent) return false;
        walk.contentBytes += formContent->size();
        auto formResources = xobject.getDict().getKey("/Resources");
        if (!formResources.isDictionary()) formResources = resources;
        ++walk.depth;
        const bool read = this->walk(*formContent, formResources, walk);
        --walk.depth;
        walk.forms.erase(xobject.getObjGen());
        if (!read) return false;
      }
    } else if (op == "ID") {
      char separator;
      input->read(&separator, 1);
      tokenizer.expectInlineImage(input);
      if (tokenizer.readToken(input, "content", true).getType() != QPDFTokenizer::tt_inline_image) return false;
    }
    operands.clear();
  }
}

}  // namespace penvora::core::document
