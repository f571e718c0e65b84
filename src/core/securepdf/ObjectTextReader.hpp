#pragma once
#include <list>
#include <optional>
#include <string_view>
#include <utility>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// Objects read as text from a file's own sections, without qpdf: where
// only references or a few entries are wanted, a qpdf parse would look up
// every object they name. The file and the sections must outlive it.
class ObjectTextReader {
 public:
  ObjectTextReader(const CrossReferenceSections& sections, std::string_view file) : sections_(sections), file_(file) {}

  // The text from the object's value on, to the end of the file or of the
  // object stream holding it (qpdf reads a value past the offset the
  // stream gives the next object).
  // Nothing for a free or unlisted object, another generation, or anything
  // not read here as written.
  std::optional<std::string_view> text(int number, int generation);

  // Just the value (of a stream, its dictionary).
  std::optional<std::string_view> value(int number, int generation);

 private:
  const CrossReferenceSections& sections_;
  std::string_view file_;
  // A few inflated object streams, newest first: the objects a walk meets
  // cluster in few of them.
  std::list<std::pair<int, util::Bytes>> streams_;
};

}  // namespace penvora::core::securepdf
