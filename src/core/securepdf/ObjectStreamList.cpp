#include "core/securepdf/ObjectStreamList.hpp"

#include <qpdf/QPDFXRefEntry.hh>

#include <set>

namespace penvora::core::securepdf {

std::optional<std::vector<int>> objectStreamsFromXref(QPDF& pdf, const CrossReferenceSections& sections) {
  // A file qpdf had to repair was read from something else than its
  // sections; only qpdf's table says what it holds.
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
