#pragma once
#include <cstddef>
#include <optional>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace penvora::core::securepdf {

// Pages found by walking down the page tree with its /Count entries, so
// signing one page of a long document reads the nodes on the way to it and
// not every page, as qpdf's getAllPages does. A tree whose counts do not
// add up on the way is read qpdf's way instead, which repairs it.

// The page at a 0-based index, nothing when the document has fewer pages.
std::optional<QPDFObjectHandle> pageAt(QPDF& pdf, std::size_t index);

// The number of pages.
std::size_t pageCount(QPDF& pdf);

}  // namespace penvora::core::securepdf
