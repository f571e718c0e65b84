#pragma once
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace penvora::core::securepdf {

// The numbers of the objects an update writes (`file` from the header on,
// the update between `from` and `to`, offsets counting from the header)
// at an offset `listed` does not hold. A reader that follows the
// cross-reference sections never reads them; one that rebuilds the table
// by scanning the file, as some do when a section is not written quite to
// the standard, reads them and takes the last copy of each number. Stream
// data is passed over as such a reader does (by a direct /Length that
// lands on "endstream", else to the first "endstream"), and a
// cross-reference stream that a "startxref" of the update points at need
// not list itself.
std::vector<int> unlistedObjects(std::string_view file, std::uint64_t from, std::uint64_t to,
                                 const std::set<std::uint64_t>& listed);

}  // namespace penvora::core::securepdf
