#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "penvora/Export.hpp"

namespace penvora {

// Placement mode of the signature box. Raw values are part of the host API.
enum class PenvoraSDKWidgetType : std::int64_t {
  manual = 0,
  field = 1,
  fixed = 2,
  float_ = 3,  // "float" is a C++ keyword
};

// All cases in their iteration order: manual, field, fixed, float.
inline constexpr std::array<PenvoraSDKWidgetType, 4> allWidgetTypes{
    PenvoraSDKWidgetType::manual, PenvoraSDKWidgetType::field, PenvoraSDKWidgetType::fixed,
    PenvoraSDKWidgetType::float_};

inline constexpr std::int64_t rawValue(PenvoraSDKWidgetType t) { return static_cast<std::int64_t>(t); }

// 0..3 give a case; anything else gives none.
PENVORA_EXPORT std::optional<PenvoraSDKWidgetType> widgetTypeFromRawValue(std::int64_t raw);

// "Manual", "Field", "Fixed", "Float"; every other string is manual.
PENVORA_EXPORT PenvoraSDKWidgetType widgetTypeFromJsonString(std::string_view s);
PENVORA_EXPORT std::string_view widgetTypeJsonString(PenvoraSDKWidgetType t);

// Key of the localised description: "manual", "field", "fixed", "float".
PENVORA_EXPORT std::string_view widgetTypeDescriptionKey(PenvoraSDKWidgetType t);

// The localised description; `lookup` maps a text key to its text. Without
// one the component's string table is used (with the Qt layer loaded), or
// else the key is the text.
PENVORA_EXPORT std::string description(PenvoraSDKWidgetType t,
                                       const std::function<std::string(std::string_view)>& lookup = {});

}  // namespace penvora
