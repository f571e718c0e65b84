#pragma once
#include <cmath>

#include "penvora/Rect.hpp"

// Between a page's own space (PDF points, y upwards, the crop box's
// coordinates) and the page as shown: cropped, turned clockwise by its
// rotation, y downwards from its top-left corner, in points.
namespace penvora::core::document {

struct Point {
  double x = 0, y = 0;
};

// The shown size: the crop box, its sides swapped for 90 and 270.
inline Rect shownSize(const Rect& cropBox, int rotation) {
  const bool quarter = rotation == 90 || rotation == 270;
  return Rect{0, 0, quarter ? cropBox.height : cropBox.width, quarter ? cropBox.width : cropBox.height};
}

inline Point pageToShown(Point p, const Rect& crop, int rotation) {
  const double px = p.x - crop.x, py = crop.y + crop.height - p.y;  // unrotated, y down
  const double w = crop.width, h = crop.height;
  switch (rotation) {
    case 90:
      return {h - py, px};
    case 180:
      return {w - px, h - py};
    case 270:
      return {py, w - px};
    default:
      return {px, py};
  }
}

inline Point shownToPage(Point s, const Rect& crop, int rotation) {
  const double w = crop.width, h = crop.height;
  double px = s.x, py = s.y;
  switch (rotation) {
    case 90:
      px = s.y;
      py = h - s.x;
      break;
    case 180:
      px = w - s.x;
      py = h - s.y;
      break;
    case 270:
      px = w - s.y;
      py = s.x;
      break;
    default:
      break;
  }
  return {px + crop.x, crop.y + crop.height - py};
}

// A page-space box as shown (its image under the rotation is again a box).
inline Rect pageRectToShown(const Rect& r, const Rect& crop, int rotation) {
  const Point a = pageToShown({r.x, r.y}, crop, rotation);
  const Point b = pageToShown({r.x + r.width, r.y + r.height}, crop, rotation);
  const double x0 = a.x < b.x ? a.x : b.x, y0 = a.y < b.y ? a.y : b.y;
  return Rect{x0, y0, (a.x < b.x ? b.x - a.x : a.x - b.x), (a.y < b.y ? b.y - a.y : a.y - b.y)};
}

// A box on the shown page (y downwards) in page space.
inline Rect shownRectToPage(const Rect& s, const Rect& crop, int rotation) {
  const Point a = shownToPage({s.x, s.y}, crop, rotation);
  const Point b = shownToPage({s.x + s.width, s.y + s.height}, crop, rotation);
  const double x0 = a.x < b.x ? a.x : b.x, y0 = a.y < b.y ? a.y : b.y;
  return Rect{x0, y0, (a.x < b.x ? b.x - a.x : a.x - b.x), (a.y < b.y ? b.y - a.y : a.y - b.y)};
}

// The box with its corners on whole points. The signer takes whole
// points for the origin and the sides; rounding the corners rather than
// cutting origin and sides keeps every corner within half a point.
inline Rect wholePoints(const Rect& r) {
  const double x0 = std::round(r.x), y0 = std::round(r.y);
  return Rect{x0, y0, std::round(r.x + r.width) - x0, std::round(r.y + r.height) - y0};
}

}  // namespace penvora::core::document
