#include "penvora/PenvoraSDKWidgetType.hpp"

#include "core/interface/TextLookup.hpp"

namespace penvora {

std::optional<PenvoraSDKWidgetType> widgetTypeFromRawValue(std::int64_t raw) {
  if (raw < 0 || raw > 3) return std::nullopt;
  return static_cast<PenvoraSDKWidgetType>(raw);
}

PenvoraSDKWidgetType widgetTypeFromJsonString(std::string_view s) {
  if (s == "Field") return PenvoraSDKWidgetType::field;
  if (s == "Fixed") return PenvoraSDKWidgetType::fixed;
  if (s == "Float") return PenvoraSDKWidgetType::float_;
  return PenvoraSDKWidgetType::manual;  // unknown strings are not an error
}

std::string_view widgetTypeJsonString(PenvoraSDKWidgetType t) {
  switch (t) {
    case PenvoraSDKWidgetType::field:
      return "Field";
    case PenvoraSDKWidgetType::fixed:
      return "Fixed";
    case PenvoraSDKWidgetType::float_:
      return "Float";
    case PenvoraSDKWidgetType::manual:
      break;
  }
  return "Manual";
}

std::string_view widgetTypeDescriptionKey(PenvoraSDKWidgetType t) {
  switch (t) {
    case PenvoraSDKWidgetType::field:
      return "field";
    case PenvoraSDKWidgetType::fixed:
      return "fixed";
    case PenvoraSDKWidgetType::float_:
      return "float";
    case PenvoraSDKWidgetType::manual:
      break;
  }
  return "manual";
}

std::string description(PenvoraSDKWidgetType t, const std::function<std::string(std::string_view)>& lookup) {
  auto key = widgetTypeDescriptionKey(t);
  return lookup ? lookup(key) : core::interface::localizedText(key);
}

}  // namespace penvora
