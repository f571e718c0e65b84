#include "core/document/WidgetPlacement.hpp"

#include <algorithm>
#include <cmath>

#include "core/util/SaturatingMath.hpp"

namespace penvora::core::document {

std::optional<std::string> sizeProblem(std::int64_t w, std::int64_t h) {
  if (w > util::multiplySaturated(4, h) || w < h) return "IncorrectRatio";
  if (w > 49 && h > 49) return std::nullopt;
  return "IncorrectSignatureSize";
}

std::optional<std::string> validateWidget(const PenvoraSDKWidget& widget, const ContainsText& containsText,
                                          const Localize& localize) {
  const auto message = [&](const std::optional<std::string>& key) -> std::optional<std::string> {
    if (!key) return std::nullopt;
    return localize(*key);
  };
  switch (widget.widgetType) {
    case PenvoraSDKWidgetType::manual: {
      const float r = widget.widgetManualRatio;  // NaN fails both comparisons
      if (r >= 1.0f && r <= 4.0f) return std::nullopt;
      return localize("IncorrectRatio");
    }
    case PenvoraSDKWidgetType::field:
      return std::nullopt;
    case PenvoraSDKWidgetType::fixed:
      return message(sizeProblem(widget.widgetWidth, widget.widgetHeight));
    case PenvoraSDKWidgetType::float_: {
      if (!widget.widgetFloatText) return localize("IncorrectFindTextNil");
      if (!containsText(*widget.widgetFloatText))
        return localize("IncorrectFloatText") + " '" + *widget.widgetFloatText + "' " + localize("onDocument");
      return message(sizeProblem(widget.widgetWidth, widget.widgetHeight));
    }
  }
  return std::nullopt;
}

float signatureRatio(const PenvoraSDKWidget& widget, const std::optional<Rect>& fieldBounds) {
  switch (widget.widgetType) {
    case PenvoraSDKWidgetType::manual: {
      const float r = widget.widgetManualRatio;
      return r >= 1.0f && r <= 4.0f ? r : kDefaultRatio;
    }
    case PenvoraSDKWidgetType::fixed:
    case PenvoraSDKWidgetType::float_: {
      const auto w = static_cast<float>(widget.widgetWidth), h = static_cast<float>(widget.widgetHeight);
      return h <= w && w <= 4 * h && h > 0 ? w / h : kDefaultRatio;
    }
    case PenvoraSDKWidgetType::field: {
      if (!fieldBounds) return kDefaultRatio;
      const double w = fieldBounds->width, h = fieldBounds->height;
      return h <= w && w <= 4 * h && h > 0 ? static_cast<float>(w / h) : kDefaultRatio;
    }
  }
  return kDefaultRatio;
}

FieldChoice findSignatureField(const std::vector<FieldCandidate>& annotations,
                               const std::optional<std::string>& wantedName) {
  FieldChoice choice;
  for (std::size_t i = 0; i < annotations.size(); ++i) {
    if (!annotations[i].isSignature) continue;
    if (!choice.first) choice.first = i;
    if (annotations[i].fieldName == wantedName) choice.named = i;  // the last one wins
  }
  return choice;
}

std::int64_t boxWidth(std::int64_t w, std::int64_t h) {
  return w > util::multiplySaturated(4, h) ? util::multiplySaturated(2, h) : w;
}

std::int64_t fixedPage(const PenvoraSDKWidget& widget) { return widget.widgetFixedPage.value_or(1); }

Rect fixedBounds(const PenvoraSDKWidget& widget) {
  return Rect{
      static_cast<double>(widget.widgetFixedX.value_or(0)), static_cast<double>(widget.widgetFixedY.value_or(0)),
      static_cast<double>(boxWidth(widget.widgetWidth, widget.widgetHeight)), static_cast<double>(widget.widgetHeight)};
}

Rect floatBounds(const PenvoraSDKWidget& widget, const Rect& match) {
  const auto h = widget.widgetHeight;
  // A match read from a hostile page may lie anywhere, or nowhere.
  auto whole = [](double v) {
    if (!std::isfinite(v)) return std::int64_t{0};
    return static_cast<std::int64_t>(std::clamp(std::trunc(v), -9.2e18, 9.2e18));
  };
  const auto x = util::addSaturated(whole(match.x), widget.widgetFloatGapX.value_or(0));
  const auto y = util::subtractSaturated(util::addSaturated(whole(match.y), widget.widgetFloatGapY.value_or(0)), h);
  return Rect{static_cast<double>(x), static_cast<double>(y), static_cast<double>(boxWidth(widget.widgetWidth, h)),
              static_cast<double>(h)};
}

}  // namespace penvora::core::document
