#pragma once
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace penvora::core::securepdf {

// What a reader that rebuilds the cross-reference table by scanning the
// file (as some do when a section is not written quite to the standard)
// takes from an update that a reader following its sections does not.
// Such a reader takes the last copy of each number, loads every object
// stream it finds, and takes the document's catalog and keys from the last
// trailer dictionary, or cross-reference stream dictionary, it comes to.
//
// `file` runs from the header on, the update between `from` and `to`, and
// offsets count from the header; `listed` holds the offsets the update's
// table gives its plain objects. Stream data is passed over as such a
// reader does: by a direct /Length that lands on "endstream", else to the
// first "endstream".
struct UpdateAsRebuilt {
  // Objects written at an offset no section lists (a cross-reference
  // stream that a "startxref" or /XRefStm of the update leads to need not
  // list itself).
  std::vector<int> unlisted;
  // Object streams written at a listed offset: whether the objects they
  // hold are the ones the table gives is for the caller to check.
  struct ObjectStream {
    int number = 0, generation = 0;
  };
  std::vector<ObjectStream> objectStreams;
  // Trailer dictionaries that follow no "xref" a "startxref" of the update
  // leads to, and cross-reference streams none leads to.
  int strayTrailers = 0;
};
UpdateAsRebuilt readUpdateAsRebuilt(std::string_view file, std::uint64_t from, std::uint64_t to,
                                    const std::set<std::uint64_t>& listed);

}  // namespace penvora::core::securepdf
