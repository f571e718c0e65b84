#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "penvora/ESSParams.hpp"
#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKParams.hpp"

namespace penvora {

// What the metadata export hands to the host instead of a signed PDF.
struct SignatureMetadata {
  std::optional<std::filesystem::path> imageFile;  // the signature picture
  std::optional<std::string> summary;              // public record summary
  std::optional<std::string> protectedRecord;      // encrypted record
};

// The signing engine, for hosts that sign without the signing screen (a
// server that received the picture and the biometric record). Nothing
// throws; a failure is one log line and an empty result.
class PENVORA_EXPORT ESS {
 public:
  // One signed PDF per document of the request, in order; the empty list
  // when any document fails.
  static std::vector<std::filesystem::path> signDocuments(const PenvoraSDKParams& params, ESSParams& essParams);
  // The signature picture as a file, and the record's summary and
  // protected form, for hosts that sign elsewhere.
  static SignatureMetadata exportSignatureMetadata(const PenvoraSDKParams& params, const ESSParams& essParams);
};

}  // namespace penvora
