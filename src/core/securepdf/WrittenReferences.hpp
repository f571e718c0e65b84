#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFXRefEntry.hh>

namespace penvora::core::securepdf {

// The object numbers of at least `from` that a revision writes as
// references, read with qpdf's own tokenizer, so that every spelling the
// readers accept counts ("+99 0 R", "0099 0 R", a comment between the
// tokens) and nothing inside a string does:
// - each object its `table` places in `file` (the bytes from the header
//   on), from its offset to its "stream" or "endobj" (or the next
//   object's header), even past where the next object is listed;
// - every object of the object streams the table uses, as qpdf decodes
//   them (a reader may look an object up by its number where qpdf takes
//   the table's index);
// - the last cross-reference section, with its trailer, at `startxref`.
// qpdf's parse cannot stand in for this: it hides a key whose value is a
// reference to nothing (read as null), and of a key given twice it keeps
// only the last value. Nothing when the objects' text runs on so far into
// one another (unclosed strings) that reading each to its end would read
// the file over and over.
std::optional<std::set<int>> writtenReferences(std::string_view file, QPDF& revision,
                                               const std::map<QPDFObjGen, QPDFXRefEntry>& table,
                                               std::uint64_t startxref, int from);

}  // namespace penvora::core::securepdf
