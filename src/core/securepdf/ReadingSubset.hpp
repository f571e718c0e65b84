#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/ObjectTextReader.hpp"

namespace penvora::core::securepdf {

// The objects signing reads of a long document, listed for qpdf instead of
// the file's whole table: qpdf enters every object of the table into its
// own before it reads any (some 30 ms at 50,000 pages), which is most of
// what signing such a document costs past hashing it. To qpdf an object
// the list leaves out is null, so the list is checked after the work
// (`onlyListedRead`): each object qpdf read may refer only to listed
// objects, to the section's own, or to numbers the file does not have.
// When it does not hold, the document is opened again with the whole table.
// What an opening for signing asks of the subset: the pages it will read
// besides the first and the last, and the table size from which a subset
// pays (below it, qpdf's table costs less than finding and checking one).
struct SubsetRequest {
  std::vector<std::size_t> pages;
  std::size_t fromObjects = 20000;
};

class ReadingSubset {
 public:
  // More than this many and the whole table costs about as much.
  static constexpr std::size_t kMaxListed = 16384;

  struct Walk {
    QPDFObjGen catalog;
    std::optional<QPDFObjGen> info;
    // The pages in order, and those signing may walk to: every page under
    // the same node two levels up as one wanted, since a walk by the counts
    // reads all of that node's kids.
    const std::vector<QPDFObjGen>* pages = nullptr;
    std::vector<std::size_t> wantedPages;
    std::size_t pagesPerGroup = 256;
    // The page tree's root as the section redefines it, its kids left out.
    std::string_view rootWithoutKids;
    // Objects the section itself defines.
    std::function<bool(QPDFObjGen)> definedBySection;
  };

  // Nothing when an object on the way is not read here as written, or the
  // list would grow past kMaxListed.
  static std::optional<ReadingSubset> find(const CrossReferenceSections& sections, ObjectTextReader& reader,
                                           const Walk& walk);

  // Every object listed, with the entry the file's sections give it; an
  // object stream holding one of them is listed too.
  const std::map<int, XrefEntry>& listed() const { return listed_; }

  // An object the section defines: where it starts (in the joined input's
  // offsets, from the file's header) and its text's place in the section.
  void defineInSection(std::uint64_t offset, std::size_t from, std::size_t to) { defined_[offset] = {from, to}; }

  // `seeks`: every offset qpdf read from, in the file's own offsets. False
  // when an object read there (or in an object stream read there) refers,
  // as written, to an object the list leaves out that qpdf would find with
  // the whole table (another generation of a listed one included).
  bool onlyListedRead(const std::vector<std::uint64_t>& seeks, const CrossReferenceSections& sections,
                      ObjectTextReader& reader, std::string_view section) const;

 private:
  std::map<int, XrefEntry> listed_;
  // The numbers each listed object refers to as written, found by the walk
  // or on the first check that needs them.
  mutable std::map<int, std::vector<QPDFObjGen>> written_;
  std::map<std::uint64_t, std::pair<std::size_t, std::size_t>> defined_;
  std::function<bool(QPDFObjGen)> definedBySection_;
};

}  // namespace penvora::core::securepdf
