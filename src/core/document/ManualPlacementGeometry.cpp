#include "core/document/ManualPlacementGeometry.hpp"

#include "core/document/PageGeometry.hpp"

namespace penvora::core::document {
namespace {
bool quarterTurn(int rotation) { return rotation == 90 || rotation == 270; }

// The limits below count from the crop box's corner: a crop box off the
// origin would otherwise let the box leave the shown page.
Rect fromCrop(const Rect& r, const Rect& crop) { return {r.x - crop.x, r.y - crop.y, r.width, r.height}; }
Rect toCrop(const Rect& r, const Rect& crop) { return {r.x + crop.x, r.y + crop.y, r.width, r.height}; }
std::optional<Rect> resizedFromCropCorner(const Rect& b, int rotation, double r, Point s, Point t, double pw,
                                          double ph);
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

std::optional<Rect> resizedBox(const Rect& box, int rotation, double r, Point s, Point t, const Rect& crop) {
  const auto resized = resizedFromCropCorner(fromCrop(box, crop), rotation, r, s, t, crop.width, crop.height);
  if (!resized) return std::nullopt;
  return toCrop(*resized, crop);
}

namespace {
std::optional<Rect> resizedFromCropCorner(const Rect& b, int rotation, double r, Point s, Point t, double pw,
                                          double ph) {
  const double minSide = kMinSignatureHeight;
  switch (rotation) {
    case 90: {
      const bool shrink = s.x > t.x;
      const double w = shrink ? b.width - 2 : b.width + 2;
      const double h = shrink ? b.height - 2 * r : b.height + 2 * r;
      if (w >= minSide && h >= minSide && b.x + w <= pw && b.y + h <= ph) return Rect{b.x, b.y, w, h};
      return std::nullopt;
    }
    case 180: {
      const bool shrink = s.x > t.x;
      const double x = shrink ? b.x + 1.5 * r : b.x - 1.5 * r;
      const double w = shrink ? b.width - 1.5 * r : b.width + 1.5 * r;
      const double h = shrink ? b.height - 1.5 : b.height + 1.5;
      if (w >= minSide && h >= minSide && x >= 0 && b.y + h <= ph) return Rect{x, b.y, w, h};
      return std::nullopt;
    }
    case 270: {
      const bool shrink = s.x > t.x;
      const Rect n = shrink ? Rect{b.x + 1.5, b.y + 1.5 * r, b.width - 1.5, b.height - 1.5 * r}
                            : Rect{b.x - 1.5, b.y - 1.5 * r, b.width + 1.5, b.height + 1.5 * r};
      if (n.width >= minSide && n.height >= minSide && n.x >= 0 && n.y >= 0) return n;
      return std::nullopt;
    }
    default: {
      // Left and top edges stay where they are.
      const double dx = s.x - t.x;
      double w = b.width - dx * r, h = b.height - dx;
      const double x = b.x;
      double y = b.y + dx;
      if (w < r * minSide) w = b.width;
      if (h < minSide) {
        h = b.height;
        y = b.y;
      }
      if (x + w > pw) {
        w = pw - x;
        h = h + dx;
      }
      if (y < 0) {
        y = 0;
        h = b.height - dx;
      }
      if (w / r < h) h = w / r;
      return Rect{x, y, w, h};
    }
  }
}
}  // namespace

Rect acceptedBounds(const Rect& box) { return wholePoints(box); }

std::optional<double> autoScrollOffset(double y, double offsetY, double screenHeight, double boundsMaxY,
                                       double contentHeight) {
  if (y < 100 && offsetY - 10 >= 0) return offsetY - 10;
  if (y > screenHeight - 100 && boundsMaxY < contentHeight) return offsetY + 10;
  return std::nullopt;
}

}  // namespace penvora::core::document
