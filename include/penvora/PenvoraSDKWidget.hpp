#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKWidgetCustomText.hpp"
#include "penvora/PenvoraSDKWidgetType.hpp"

namespace penvora {

// Where and how big the signature box is, and the texts drawn in it.
// Field order is the declaration (and JSON decoding) order.
struct PENVORA_EXPORT PenvoraSDKWidget {
  PenvoraSDKWidgetType widgetType = PenvoraSDKWidgetType::manual;
  std::optional<std::string> widgetFloatText;
  std::optional<std::string> widgetFieldFieldname;
  float widgetManualRatio = 1.5f;
  std::optional<std::int64_t> widgetFixedPage;
  std::optional<std::int64_t> widgetFixedX;
  std::optional<std::int64_t> widgetFixedY;
  std::optional<std::int64_t> widgetFloatGapY;
  std::optional<std::int64_t> widgetFloatGapX;
  std::vector<PenvoraSDKWidgetCustomText> widgetCustomText;
  std::optional<std::string> widgetCustomTextB64;
  bool requestWidgetCustomText = false;
  std::int64_t widgetWidth = 150;
  std::int64_t widgetHeight = 100;
  std::optional<bool> flexible = false;
  bool signOnAllPages = false;
  bool invisibleSignature = false;

  PenvoraSDKWidget() = default;
  // Full constructor in the host-facing argument order. Absent numbers take
  // their substitutes (ratio 1.5, fixed and gap values 0, which are then
  // present, box 150 x 100); fractional values are truncated.
  PenvoraSDKWidget(PenvoraSDKWidgetType widgetType, std::optional<std::string> widgetFloatText,
                   std::optional<std::string> widgetFieldFieldname, std::optional<double> widgetManualRatio,
                   std::optional<double> widgetFixedPage, std::optional<double> widgetFixedX,
                   std::optional<double> widgetFixedY, std::optional<double> widgetWidth,
                   std::optional<double> widgetHeight, std::optional<double> widgetFloatGapX,
                   std::optional<double> widgetFloatGapY, std::vector<PenvoraSDKWidgetCustomText> widgetCustomText,
                   std::optional<std::string> widgetCustomTextB64, std::optional<bool> requestWidgetCustomText,
                   std::optional<bool> flexible, bool signOnAllPages, bool invisibleSignature);

  bool operator==(const PenvoraSDKWidget&) const = default;
};

}  // namespace penvora
