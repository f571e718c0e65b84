#include "core/securepdf/Flate.hpp"

#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {

std::string flateEncode(const std::string& data, int level) {
  auto z = util::zlibCompress(data, level);
  if (!z) throw SecurePdfError("Compressing a PDF stream failed");
  return std::move(*z);
}

}  // namespace penvora::core::securepdf
