// The JSON form of a request: any text decodes or raises DecodingError.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "penvora/JsonDecoding.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    auto p = penvora::decodeJson<penvora::PenvoraSDKParams>(text);
    (void)penvora::redactedJson(p);
  } catch (const penvora::DecodingError&) {
  }
  try {
    (void)penvora::decodeJson<penvora::PenvoraSDKWidget>(text);
  } catch (const penvora::DecodingError&) {
  }
  return 0;
}
