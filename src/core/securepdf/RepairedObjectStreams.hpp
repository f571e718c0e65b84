#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <qpdf/QPDF.hh>

#include "core/securepdf/ExpansionLimit.hpp"

namespace penvora::core::securepdf {

// When qpdf comes to an object its table places where the object is not,
// it rebuilds the table from every "n g obj" beginning a line of the file,
// the last of each number and generation winning, and from then on reads each object
// stream (as generation 0) from there: an unlisted stream written after
// the listed one, never measured, would be inflated whole. This measures,
// for each of `streams`, the definition such a rebuild would take when it
// is not the one `listed` places in the file, and throws SecurePdfError past
// `limit` or `together`, or when it cannot be measured (an encrypted
// file's, or filters given by reference). `file`: the bytes from the
// "%PDF-" header on.
void checkObjectStreamsAsRepaired(QPDF& pdf, std::string_view file, const std::vector<int>& streams,
                                  const XrefLookup& listed, ExpansionLimit limit, ExpansionBudget& together);

}  // namespace penvora::core::securepdf
