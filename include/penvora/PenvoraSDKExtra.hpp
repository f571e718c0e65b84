#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "penvora/Export.hpp"

namespace penvora {

struct PENVORA_EXPORT PenvoraSDKExtra {
  bool autoOpen = false;
  bool viewLastPage = false;
  bool showReject = false;
  std::string signatureColorHex = "#000000";
  std::int64_t signatureThickness = 10;
  std::optional<bool> fullScreen = true;  // absent also means full screen
  bool signatureMetadataMode = false;

  PenvoraSDKExtra() = default;
  // Argument order differs from the field order: showReject follows
  // signatureThickness.
  PenvoraSDKExtra(std::optional<bool> autoOpen, std::optional<bool> viewLastPage,
                  std::optional<std::string> signatureColorHex, std::int64_t signatureThickness, bool showReject,
                  std::optional<bool> fullScreen, bool signatureMetadataMode)
      : autoOpen(autoOpen.value_or(false)),
        viewLastPage(viewLastPage.value_or(false)),
        showReject(showReject),
        signatureColorHex(std::move(signatureColorHex).value_or("#000000")),
        signatureThickness(signatureThickness),
        fullScreen(fullScreen.value_or(true)),
        signatureMetadataMode(signatureMetadataMode) {}

  bool presentsFullScreen() const { return fullScreen.value_or(true); }

  bool operator==(const PenvoraSDKExtra&) const = default;
};

}  // namespace penvora
