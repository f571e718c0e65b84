// Signing identities: any bytes as a PKCS#12 container, opened or refused.
#include <cstddef>
#include <cstdint>

#include "core/util/Pkcs12.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  penvora::core::util::pkcs12Opens(penvora::core::util::Bytes(data, data + size), "password");
  return 0;
}
