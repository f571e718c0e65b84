// The biometric record reader: whatever text arrives as pointsB64 must give
// a result or nothing, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/engine/ESS.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/util/Base64.hpp"
#include "penvora/Log.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  [[maybe_unused]] static bool quiet = (penvora::setLogSink([](std::string_view) {}), true);
  const std::string text(reinterpret_cast<const char*>(data), size);
  penvora::core::engine::ESSUtils::pointsToBinary(penvora::core::engine::ESSUtils::split(text, '\n'));
  const std::string b64 = penvora::core::util::base64Encode(text);
  penvora::core::engine::ESS::recordSummary(b64);
  // Protect with the default certificate only for small inputs: RSA per
  // input would make the run slow without adding coverage.
  if (size < 2048) penvora::core::engine::ESS::protectRecord(b64, std::nullopt);
  penvora::core::engine::ESS::restampDocumentHash(b64, "/dev/null");
  penvora::core::engine::ESS::issuerAndSerial(penvora::core::util::Bytes(data, data + size));
  penvora::core::util::base64DecodeIgnoringUnknown(text);
  return 0;
}
