#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace penvora::core::securepdf {

// Pages found by walking down the page tree with its /Count entries, so
// signing one page of a long document reads the nodes on the way to it and
// not every page. A tree whose counts do not add up on the way is read
// whole instead, by `allPages`.

// The page at a 0-based index, nothing when the document has fewer pages.
std::optional<QPDFObjectHandle> pageAt(QPDF& pdf, std::size_t index);

// The number of pages.
std::size_t pageCount(QPDF& pdf);

// Every page in the order a reader following /Kids shows them, a page
// listed twice as often as it is listed. Unlike qpdf's getAllPages it
// changes nothing: that one gives a page listed twice a copy that exists
// only in memory, where an update would hang a widget nobody sees. Each
// node is read once (a loop ends there); kids that are not dictionaries
// are left out.
std::vector<QPDFObjectHandle> allPages(QPDF& pdf);

// What a reader of the whole tree faces: qpdf's own page walk recurses once
// per level and copies a page for each time it is listed again, so a
// hostile tree can exhaust the stack or the memory. Read without either.
struct PageTreeShape {
  std::size_t depth = 0;        // the longest path of nodes from the root to a page
  std::size_t repeats = 0;      // listings of a page already listed
  std::size_t listings = 0;     // pages listed, repeats included (kids that are not dictionaries left out)
  bool deeperThanRead = false;  // past `kMaxPageTreeDepth`, where the reading stopped
};
inline constexpr std::size_t kMaxPageTreeDepth = 64;
PageTreeShape pageTreeShape(QPDF& pdf);

}  // namespace penvora::core::securepdf
