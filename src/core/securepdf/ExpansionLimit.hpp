#pragma once
#include <cstdint>
#include <string_view>

#include <qpdf/QPDF.hh>

namespace penvora::core::securepdf {

// qpdf inflates an object stream whole, without a bound, the first time an
// object inside it is read, so a 1 MB file can ask for gigabytes. This
// measures every compressed object stream first (inflating into nothing)
// and throws SecurePdfError when one would grow beyond
// max(`floorBytes`, `ratio` x its compressed size).
struct ExpansionLimit {
  std::uint64_t floorBytes = 64ull << 20;
  std::uint64_t ratio = 100;
};
// `bytes`, the file as qpdf read it when it is in memory, lets the object
// streams be found from its cross-reference sections alone.
void checkObjectStreamExpansion(QPDF& pdf, std::string_view bytes = {}, ExpansionLimit limit = {});

}  // namespace penvora::core::securepdf
