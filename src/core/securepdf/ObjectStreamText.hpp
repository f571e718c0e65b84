#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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

// The (number, offset) pairs of an object stream's header, from its decoded
// `content`: at most `objects` of them within its first `first` bytes,
// ending before the first that is not two integers.
struct ObjectStreamPair {
  std::uint64_t number = 0, offset = 0;
};
std::vector<ObjectStreamPair> objectStreamHeader(std::string_view content, std::uint64_t first, std::uint64_t objects);

}  // namespace penvora::core::securepdf
