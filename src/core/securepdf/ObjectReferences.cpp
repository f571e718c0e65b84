#include "core/securepdf/ObjectReferences.hpp"

#include <qpdf/Buffer.hh>

#include <climits>
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

}  // namespace

void referencesWritten(std::string_view text, int from, std::set<int>& into) {
  for (std::size_t r = text.find('R'); r != std::string_view::npos; r = text.find('R', r + 1)) {
    if (r + 1 < text.size() && isPdfRegular(text[r + 1])) continue;
    // Back over " g " then "n", each a run of digits after white space.
    std::size_t at = r;
    if (at == 0 || !isPdfSpace(text[at - 1])) continue;
    while (at > 0 && isPdfSpace(text[at - 1])) --at;
    const std::size_t genEnd = at;
    while (at > 0 && isDigit(text[at - 1])) --at;
    if (at == genEnd || genEnd - at > 5 || at == 0 || !isPdfSpace(text[at - 1])) continue;
    while (at > 0 && isPdfSpace(text[at - 1])) --at;
    const std::size_t numberEnd = at;
    while (at > 0 && isDigit(text[at - 1]) && numberEnd - at <= 10) --at;
    if (at == numberEnd || numberEnd - at > 10 || (at > 0 && isPdfRegular(text[at - 1]))) continue;
    const long long number = std::stoll(std::string(text.substr(at, numberEnd - at)));
    if (number >= from && number <= INT_MAX) into.insert(static_cast<int>(number));
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
