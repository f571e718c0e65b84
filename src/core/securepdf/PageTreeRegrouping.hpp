#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/QPDFObjGen.hh>

#include <memory>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/ReadingSubset.hpp"

namespace penvora::core::securepdf {

// A long document's page tree, as qpdf and others write it, is one node
// that lists every page, kept in the object stream that also holds the
// catalog; and qpdf parses every object of such a stream as soon as one of
// them is read, a microsecond per kid reference (50 ms at 50,000 pages)
// before signing has read anything. This is, for qpdf's eyes only, an
// update section that redefines that node with the same entries but its
// kids regrouped under new intermediate nodes, so reaching one page parses
// a few hundred references. The section is never written anywhere: an
// update of the document follows the original bytes, and must carry none
// of the objects the section defines.
struct RegroupedPageTree {
  std::string section;                // to append after the original bytes
  long long originalObjectCount = 0;  // the original trailer's /Size
  QPDFObjGen root;                    // the node redefined
  int firstNode = 0;                  // the intermediate nodes' numbers, past all the file's
  int nodeCount = 0;
  // Set when the section lists only the objects signing reads, instead of
  // leading on to the file's own table; qpdf then reads no other object.
  std::shared_ptr<ReadingSubset> subset;

  bool defines(QPDFObjGen og) const {
    return og == root || (og.getObj() >= firstNode && og.getObj() - firstNode < nodeCount);
  }
};

// Below this many kids, qpdf's parse of the node costs about a millisecond.
inline constexpr std::size_t kRegroupFromKids = 1024;

// Nothing when `bytes` (a whole file) has no such node (fewer kids than
// `fromKids`, a /Count that is not the number of kids, kids other than
// references), is encrypted, or anything on the way to the node is not
// read here as written: qpdf then reads the file as it is.
std::optional<RegroupedPageTree> regroupFlatPageTree(std::string_view bytes, std::size_t fromKids = kRegroupFromKids);
// The same with the file's sections already read: `file` is the bytes from
// the "%PDF-" header on, and `startxref` where its last section starts.
// With `listing`, and a table that long, the section lists only what
// signing reads (the form, the first and last page, and the pages asked
// for) when that can be found (`subset`).
std::optional<RegroupedPageTree> regroupFlatPageTree(std::string_view file, std::uint64_t startxref,
                                                     const CrossReferenceSections& sections,
                                                     std::size_t fromKids = kRegroupFromKids,
                                                     const std::optional<SubsetRequest>& listing = std::nullopt);

}  // namespace penvora::core::securepdf
