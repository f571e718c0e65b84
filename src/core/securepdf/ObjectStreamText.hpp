#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/securepdf/CrossReferenceSections.hpp"

namespace penvora::core::securepdf {

// Where an indirect object's value starts: just after its "n g obj" at
// `offset` of `file`; nothing when the header there is not that object's.
std::optional<std::size_t> afterObjectHeader(std::string_view file, std::uint64_t offset, int number, int generation);

// An object stream as written in the file, read as text from its
// cross-reference entry: what qpdf would inflate, without qpdf resolving
// anything. A /Length or /DecodeParms given by reference, a filter other
// than Flate, or anything not as expected gives nothing.
struct ObjectStreamText {
  std::string_view raw;                  // the stream's bytes, /Length of them
  bool deflated = false;                 // /FlateDecode, else no filter
  std::uint64_t objects = 0, first = 0;  // /N and /First
  bool endsAtLength = false;             // "endstream" follows the /Length bytes
};
std::optional<ObjectStreamText> objectStreamText(const CrossReferenceSections& xref, std::string_view file, int stream);

}  // namespace penvora::core::securepdf
