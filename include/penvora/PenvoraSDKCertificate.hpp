#pragma once
#include <optional>
#include <string>

#include "penvora/Export.hpp"

namespace penvora {

struct PENVORA_EXPORT PenvoraSDKCertificate {
  std::optional<std::string> signCertP12B64;
  std::optional<std::string> signCertPassword;
  bool requestUserCertificate = false;
  std::optional<std::string> defaultAliasUserCertificate;
  std::optional<std::string> encKeyB64;
  bool ltv = false;
  bool handwrittenSignature = true;

  PenvoraSDKCertificate() = default;
  PenvoraSDKCertificate(std::optional<std::string> signCertP12B64, std::optional<std::string> signCertPassword,
                        bool requestUserCertificate, std::optional<std::string> defaultAliasUserCertificate,
                        std::optional<std::string> encKeyB64, bool ltv, bool handwrittenSignature)
      : signCertP12B64(std::move(signCertP12B64)),
        signCertPassword(std::move(signCertPassword)),
        requestUserCertificate(requestUserCertificate),
        defaultAliasUserCertificate(std::move(defaultAliasUserCertificate)),
        encKeyB64(std::move(encKeyB64)),
        ltv(ltv),
        handwrittenSignature(handwrittenSignature) {}

  bool operator==(const PenvoraSDKCertificate&) const = default;
};

}  // namespace penvora
