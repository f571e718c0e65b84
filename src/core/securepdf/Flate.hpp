#pragma once
#include <string>

namespace penvora::core::securepdf {

// zlib (FlateDecode) encoding of stream data. Throws SecurePdfError when
// zlib fails (out of memory).
std::string flateEncode(const std::string& data, int level = 6);

}  // namespace penvora::core::securepdf
