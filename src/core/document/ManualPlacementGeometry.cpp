#include "core/document/ManualPlacementGeometry.hpp"

#include <algorithm>

#include "core/document/PageGeometry.hpp"

namespace penvora::core::document {
namespace {
bool quarterTurn(int rotation) { return rotation == 90 || rotation == 270; }

// The limits below count from the crop box's corner: a crop box off the
// origin would otherwise let the box leave the shown page.
Rect fromCrop(const Rect& r, const Rect& crop) { return {r.x - crop.x, r.y - crop.y, r.width, r.height}; }
Rect toCrop(const Rect& r, const Rect& crop) { return {r.x + crop.x, r.y + crop.y, r.width, r.height}; }
}  // namespace

Rect initialBox(const Rect& crop, int rotation, double ratio) {
  const double side = kMinSignatureHeight * 1.5;
  const double width = quarterTurn(rotation) ? side : ratio * side;
  const double height = quarterTurn(rotation) ? ratio * side : side;
  return {crop.x + crop.width / 2 - width / 2, crop.y + crop.height / 2 - height / 2, width, height};
}

Rect iconBounds(Icon icon, const Rect& b, int rotation, double side) {
  const double minX = b.x, maxX = b.x + b.width, minY = b.y, maxY = b.y + b.height;
  Point corner;
  switch (rotation) {
    case 90:
      corner = icon == Icon::close ? Point{minX, minY} : icon == Icon::accept ? Point{minX, maxY} : Point{maxX, maxY};
      break;
    case 180:
      corner = icon == Icon::close ? Point{maxX, minY} : icon == Icon::accept ? Point{minX, minY} : Point{minX, maxY};
      break;
    case 270:
      corner = icon == Icon::close ? Point{maxX, maxY} : icon == Icon::accept ? Point{maxX, minY} : Point{minX, minY};
      break;
    default:
      corner = icon == Icon::close ? Point{minX, maxY} : icon == Icon::accept ? Point{maxX, maxY} : Point{maxX, minY};
  }
  return {corner.x - side / 2, corner.y - side / 2, side, side};
}

Rect movedBox(const Rect& box, Point touch, const Rect& crop) {
  const Rect b = fromCrop(box, crop);
  const Point p{touch.x - crop.x, touch.y - crop.y};
  const double pw = crop.width, ph = crop.height;
  const double hw = b.width / 2, hh = b.height / 2;
  // Both tests look at the unclamped touch.
  const double cx = p.x > pw - hw ? pw - hw : p.x < hw ? hw : p.x;
  const double cy = p.y > ph - hh ? ph - hh : p.y < hh ? hh : p.y;
  return toCrop({cx - hw, cy - hh, b.width, b.height}, crop);
}

Rect resizedToHandle(const Rect& box, int rotation, double ratio, Point finger, const Rect& crop) {
  if (!(ratio > 0)) return box;
  const Rect page = shownSize(crop, rotation);
  const Rect shown = pageRectToShown(box, crop, rotation);
  const Point f = pageToShown(finger, crop, rotation);
  const double widest = std::min(page.width - shown.x, (page.height - shown.y) * ratio);
  const double narrowest = kMinSignatureHeight * ratio;
  if (widest < narrowest) return box;
  const double wanted = std::max(f.x - shown.x, (f.y - shown.y) * ratio);
  const double width = std::clamp(wanted, narrowest, widest);
  return shownRectToPage({shown.x, shown.y, width, width / ratio}, crop, rotation);
}

Point expandHandleCorner(const Rect& box, int rotation, const Rect& crop) {
  const Rect shown = pageRectToShown(box, crop, rotation);
  return shownToPage({shown.x + shown.width, shown.y + shown.height}, crop, rotation);
}

Rect acceptedBounds(const Rect& box) { return wholePoints(box); }

std::optional<double> autoScrollOffset(double y, double offsetY, double screenHeight, double boundsMaxY,
                                       double contentHeight) {
  if (y < 100 && offsetY - 10 >= 0) return offsetY - 10;
  if (y > screenHeight - 100 && boundsMaxY < contentHeight) return offsetY + 10;
  return std::nullopt;
}

}  // namespace penvora::core::document
