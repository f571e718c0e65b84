#include "core/document/TurnedPagePlacement.hpp"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/document/PageGeometry.hpp"
#include "core/document/WidgetPlacement.hpp"

namespace penvora::core::document {
namespace {
bool quarterTurn(int rotation) { return rotation == 90 || rotation == 270; }
}  // namespace

PenvoraSDKWidget shownFixedWidget(const PenvoraSDKWidget& widget, int rotation) {
  PenvoraSDKWidget shown = widget;
  if (quarterTurn(rotation)) std::swap(shown.widgetWidth, shown.widgetHeight);
  return shown;
}

float fixedCaptureRatio(const PenvoraSDKWidget& widget, int rotation) {
  const Rect seen = shownSides(fixedBounds(widget), rotation);
  if (seen.height > 0 && seen.width > 0) return std::clamp(static_cast<float>(seen.width / seen.height), 1.0f, 4.0f);
  return signatureRatio(shownFixedWidget(widget, rotation), std::nullopt);
}

Rect shownSides(const Rect& box, int rotation) {
  return quarterTurn(rotation) ? Rect{box.x, box.y, box.height, box.width} : box;
}

Rect floatBoundsOnPage(const PenvoraSDKWidget& widget, const Rect& match, const Rect& crop, int rotation) {
  if (rotation != 90 && rotation != 180 && rotation != 270) return floatBounds(widget, match);
  // The rule works in a space with y upwards; take the page as shown,
  // turned upright, with its origin at the shown bottom-left corner.
  const double shownHeight = shownSize(crop, rotation).height;
  const auto upright = [shownHeight](const Rect& r) {
    return Rect{r.x, shownHeight - r.y - r.height, r.width, r.height};  // its own inverse
  };
  const Rect text = upright(pageRectToShown(match, crop, rotation));
  const Rect box = upright(floatBounds(widget, text));
  return wholePoints(shownRectToPage(box, crop, rotation));
}

}  // namespace penvora::core::document
