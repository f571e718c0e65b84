#pragma once
#include <cstdint>
#include <string>

#include "penvora/Export.hpp"

namespace penvora {

// One text line drawn in the signature appearance.
struct PENVORA_EXPORT PenvoraSDKWidgetCustomText {
  std::int64_t fontSize = 11;
  std::string text;

  PenvoraSDKWidgetCustomText() = default;
  PenvoraSDKWidgetCustomText(std::int64_t fontSize, std::string text) : fontSize(fontSize), text(std::move(text)) {}

  bool operator==(const PenvoraSDKWidgetCustomText&) const = default;
};

}  // namespace penvora
