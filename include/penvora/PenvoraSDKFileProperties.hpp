#pragma once
#include <optional>
#include <string>
#include <vector>

#include "penvora/Export.hpp"

namespace penvora {

inline constexpr const char* kDefaultSignedName = "penvora_document.pdf";

struct PENVORA_EXPORT PenvoraSDKFileProperties {
  std::string documentPath;
  std::vector<std::string> documentUris;
  std::string signedName = kDefaultSignedName;
  bool isShareable = true;
  std::string password;
  std::string author;
  std::string reason;
  std::string contact;
  std::string location;

  PenvoraSDKFileProperties() = default;
  // Full constructor; an absent signedName gives "penvora_document.pdf",
  // absent texts give "".
  PenvoraSDKFileProperties(std::string documentPath, std::vector<std::string> documentUris,
                           std::optional<std::string> signedName, bool isShareable,
                           std::optional<std::string> password = std::nullopt,
                           std::optional<std::string> author = std::nullopt,
                           std::optional<std::string> reason = std::nullopt,
                           std::optional<std::string> contact = std::nullopt,
                           std::optional<std::string> location = std::nullopt);

  bool operator==(const PenvoraSDKFileProperties&) const = default;
};

}  // namespace penvora
