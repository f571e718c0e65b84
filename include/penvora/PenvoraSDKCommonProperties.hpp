#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "penvora/Export.hpp"

namespace penvora {

struct PENVORA_EXPORT PenvoraSDKCommonProperties {
  std::optional<std::string> title;
  bool requestLocation = false;
  std::optional<std::int64_t> renderDefaultIndexPage;  // counts from 0
  std::string reference;
  bool saveOnPrivateStorage = false;
  // The pen's pressure in the biometric record (MAX_PRESS its scale);
  // otherwise every point has PRESS 1 and MAX_PRESS is 1.
  bool recordPenPressure = false;
  // The capture panel offers a signer who cannot draw to confirm with the
  // keyboard: the signature then has no handwritten picture and no
  // biometric data, as with `handwrittenSignature` false, and its custom
  // text says why.
  bool allowConfirmWithoutDrawing = false;

  PenvoraSDKCommonProperties() = default;
  PenvoraSDKCommonProperties(std::optional<std::string> title, bool requestLocation,
                             std::int64_t renderDefaultIndexPage, std::string reference, bool saveOnPrivateStorage)
      : title(std::move(title)),
        requestLocation(requestLocation),
        renderDefaultIndexPage(renderDefaultIndexPage),
        reference(std::move(reference)),
        saveOnPrivateStorage(saveOnPrivateStorage) {}

  bool operator==(const PenvoraSDKCommonProperties&) const = default;
};

}  // namespace penvora
