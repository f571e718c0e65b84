#pragma once
#include <cstdint>
#include <string>

namespace penvora::tools {

struct PageComparison {
  std::string png;                // the picture, PNG bytes
  long long differingPixels = 0;  // pixels that differ between the two renderings
  bool pageExistedWhenSigned = true;
};

// Page `page` (0-based) of `file` drawn as it was in the revision ending at
// `revisionEnd` (the file cut there) and as it is now, side by side, with
// the pixels that differ tinted red on the right and framed. Throws
// std::runtime_error with the reason. Needs Qt (QtPdf); the core stays
// without it, so this lives in the tool.
PageComparison comparePage(const std::string& file, std::uint64_t revisionEnd, int page, const std::string& password);

}  // namespace penvora::tools
