#pragma once
#include <optional>
#include <string_view>
#include <vector>

#include <qpdf/QPDF.hh>

#include "core/securepdf/CrossReferenceSections.hpp"

namespace penvora::core::securepdf {

// The object streams a document keeps objects in, as its cross-reference
// sections name them, without copying qpdf's whole cross-reference table,
// which on a long document costs more than the rest of opening it. Nothing
// when `pdf` needed repairs: the caller then lists them from qpdf's table.
std::optional<std::vector<int>> objectStreamsFromXref(QPDF& pdf, const CrossReferenceSections& sections);

// The same from qpdf's table: every object stream of a document, however
// its cross-references were read.
std::vector<int> objectStreamsFromTable(QPDF& pdf);

}  // namespace penvora::core::securepdf
