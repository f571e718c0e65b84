// The installed engine API forwards to the engine inside the library.
#include "core/engine/ESS.hpp"

namespace penvora {

std::vector<std::filesystem::path> ESS::signDocuments(const PenvoraSDKParams& params, ESSParams& essParams) {
  return core::engine::ESS::signDocuments(params, essParams);
}

SignatureMetadata ESS::exportSignatureMetadata(const PenvoraSDKParams& params, const ESSParams& essParams) {
  return core::engine::ESS::exportSignatureMetadata(params, essParams);
}

}  // namespace penvora
