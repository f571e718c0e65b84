#pragma once
#include <cmath>

namespace penvora::core::capture {

// The pure geometry of the stroke view's variable-width ink.

struct Point {
  double x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

inline Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
inline Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
inline Point operator*(Point a, double k) { return {a.x * k, a.y * k}; }

// Moves shorter than this are ignored.
inline constexpr double kMinimumStep = 1.0;
// Dot width of a tap.
inline constexpr double kTapDotWidth = 5.0;
// The perpendicular is a turn by 1.57 radians, not exactly a quarter turn:
// the ink's look depends on it.
inline constexpr double kCos157 = 0.0007963267107332633;
inline constexpr double kSin157 = 0.9999996829318346;

inline double distance(Point a, Point b) { return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y)); }

// Fast movement gives thin ink, slow movement thick ink: halfway between
// the previous width and 25/d, then clamped (maximum first).
inline double nextWidth(double previousWidth, double step, double minimumWidth, double maximumWidth) {
  double w = ((1.0 / step) * 50.0) * 0.5 + previousWidth * 0.5;
  if (!(w < maximumWidth)) w = maximumWidth;
  if (w < minimumWidth) w = minimumWidth;
  return w;
}

inline Point unit(Point v) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y);
  return len > 0 ? Point{v.x / len, v.y / len} : Point{0, 0};
}

inline Point rotated(Point u) { return {u.x * kCos157 - u.y * kSin157, u.x * kSin157 + u.y * kCos157}; }

// The outline of one ribbon segment from the previous end point E through
// the control point P to the midpoint M: start, curve (control, end),
// line end, curve (control, end).
struct Segment {
  Point start, control1, end1, lineTo, control2, end2;
};

inline Segment ribbon(Point e, Point p, Point m, double w0, double w1) {
  const Point r1 = rotated(unit(p - e)) * (w0 * 0.5);
  const Point r2 = rotated(unit(e - p)) * ((w0 + w1) * 0.5 * 0.5);
  const Point r3 = rotated(unit(p - m)) * (w1 * 0.5);
  return {e + r1, p - r2, m - r3, m + r3, p + r2, e - r1};
}

}  // namespace penvora::core::capture
