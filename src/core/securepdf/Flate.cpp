#include "core/securepdf/Flate.hpp"

#include <zlib.h>

#include "core/securepdf/SecurePdfError.hpp"

namespace penvora::core::securepdf {

std::string flateEncode(const std::string& data, int level) {
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string z(n, '\0');
  if (compress2(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), level) != Z_OK)
    throw SecurePdfError("Compressing a PDF stream failed");
  z.resize(n);
  return z;
}

}  // namespace penvora::core::securepdf
