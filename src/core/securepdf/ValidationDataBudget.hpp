#pragma once
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <set>
#include <string>

#include "core/securepdf/BoundedStringPipeline.hpp"

namespace penvora::core::securepdf {

// What a document's /DSS lists may decode to, all items together: a list
// can name one stream of 60 MB (240 bytes in the file) a hundred times.
constexpr std::size_t kMaxValidationDataBytes = std::size_t{256} << 20;

// Decodes the items of a document's /DSS lists, each stream once, each
// within kMaxValidationItemBytes and all within kMaxValidationDataBytes.
class ValidationDataBudget {
 public:
  // `stream`'s data; none when it was decoded here before, cannot be
  // decoded, or would pass a bound (missing validation data, which the
  // verdict reports).
  std::optional<std::string> decode(QPDFObjectHandle stream) {
    if (stream.isIndirect() && !seen_.insert(stream.getObjGen()).second) return std::nullopt;
    const std::size_t left = kMaxValidationDataBytes - used_;
    auto data = decodedUpTo(stream, std::min(kMaxValidationItemBytes, left));
    if (data) used_ += data->size();
    return data;
  }

 private:
  std::set<QPDFObjGen> seen_;
  std::size_t used_ = 0;
};

}  // namespace penvora::core::securepdf
