#include "core/securepdf/ObjectStreamList.hpp"

#include <qpdf/QPDFXRefEntry.hh>

#include <set>

#include "core/securepdf/IncrementalUpdate.hpp"

namespace penvora::core::securepdf {

std::optional<std::vector<int>> objectStreamsFromXref(QPDF& pdf, std::string_view bytes) {
  // A file qpdf had to repair was read from something else than its
  // sections; only qpdf's table says what it holds.
  if (pdf.anyWarnings()) return std::nullopt;
  const auto tail = readXrefTail(bytes);
  if (!tail) return std::nullopt;
  const auto sections = CrossReferenceSections::read(bytes.substr(tail->headerOffset), tail->startxref);
  if (!sections) return std::nullopt;
  return sections->objectStreams();
}

std::optional<std::vector<int>> objectStreamsFromXref(QPDF& pdf, const CrossReferenceSections& sections) {
  if (pdf.anyWarnings()) return std::nullopt;
  return sections.objectStreams();
}

std::vector<int> objectStreamsFromTable(QPDF& pdf) {
  std::set<int> streams;
  for (const auto& [og, entry] : pdf.getXRefTable())
    if (entry.getType() == 2) streams.insert(entry.getObjStreamNumber());
  return {streams.begin(), streams.end()};
}

}  // namespace penvora::core::securepdf
