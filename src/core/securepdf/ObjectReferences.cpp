#include "core/securepdf/ObjectReferences.hpp"

#include <qpdf/Buffer.hh>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {

void referencesIn(QPDFObjectHandle object, std::set<QPDFObjGen>& into) {
  std::vector<QPDFObjectHandle> todo{object.isStream() ? object.getDict() : object};
  bool top = true;
  while (!todo.empty()) {
    QPDFObjectHandle h = todo.back();
    todo.pop_back();
    if (h.isIndirect() && !top) {
      into.insert(h.getObjGen());
      continue;
    }
    top = false;
    if (h.isArray()) {
      for (int i = 0; i < h.getArrayNItems(); ++i) todo.push_back(h.getArrayItem(i));
    } else if (h.isDictionary()) {
      for (const auto& k : h.getKeys()) todo.push_back(h.getKey(k));
    }
  }
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Back over white space and comments from `at`: a line break crossed going
// back may end a comment, which is then space from its '%' on. A '%' in a
// string on that line passes for one too, and the scan then finds a number
// more, which costs nothing where it is used; lines are looked at up to
// 4 KB back, so binary data costs no more than that per candidate.
std::size_t backOverSpace(std::string_view text, std::size_t at) {
  for (;;) {
    bool crossedLine = false;
    while (at > 0 && isPdfSpace(text[at - 1])) {
      --at;
      crossedLine |= text[at] == '\n' || text[at] == '\r';
    }
    if (!crossedLine || at == 0) return at;
    const std::size_t floor = at > 4096 ? at - 4096 : 0;
    const auto lineBreak = text.substr(floor, at - floor).find_last_of("\r\n");
    const std::size_t lineStart = lineBreak == std::string_view::npos ? floor : floor + lineBreak + 1;
    const auto percent = text.substr(lineStart, at - lineStart).find('%');
    if (percent == std::string_view::npos) return at;
    at = lineStart + percent;
  }
}

// Back over a run of digits (and a sign before it) ending at `at`.
std::size_t backOverDigits(std::string_view text, std::size_t at) {
  const std::size_t end = at;
  while (at > 0 && isDigit(text[at - 1]) && end - at < 256) --at;
  if (at < end && at > 0 && (text[at - 1] == '+' || text[at - 1] == '-')) --at;
  return at;
}

}  // namespace

void referencesWritten(std::string_view text, int from, std::set<int>& into) {
  for (std::size_t r = text.find('R'); r != std::string_view::npos; r = text.find('R', r + 1)) {
    if (r + 1 < text.size() && isPdfRegular(text[r + 1])) continue;
    // Back over " g " then "n", each a run of digits after white space or
    // comments, as qpdf's tokenizer reads them ("+0099" is 99).
    if (r == 0 || !isPdfSpace(text[r - 1])) continue;
    std::size_t at = backOverSpace(text, r);
    const std::size_t genEnd = at;
    at = backOverDigits(text, at);
    if (at == genEnd || at == 0 || !isPdfSpace(text[at - 1])) continue;
    at = backOverSpace(text, at);
    const std::size_t numberEnd = at;
    at = backOverDigits(text, at);
    if (at == numberEnd || (at > 0 && isPdfRegular(text[at - 1]))) continue;
    // As a reader that keeps numbers in 32 bits takes it: longer ones wrap
    // around, and so does a sign.
    std::uint32_t wrapped = 0;
    for (char c : text.substr(at, numberEnd - at))
      if (isDigit(c)) wrapped = wrapped * 10 + static_cast<std::uint32_t>(c - '0');
    if (text[at] == '-') wrapped = 0u - wrapped;
    const auto number = static_cast<std::int32_t>(wrapped);
    if (number >= from) into.insert(number);
  }
}

void referencesWrittenInObjectStreams(QPDF& pdf, const std::vector<int>& streams, int from, std::set<int>& into) {
  for (int stream : streams) {
    try {
      const auto data = pdf.getObjectByID(stream, 0).getStreamData(qpdf_dl_generalized);
      referencesWritten(std::string_view(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()), from,
                        into);
    } catch (const std::exception&) {
      // Nothing to read in it.
    }
  }
}

}  // namespace penvora::core::securepdf
