#include "core/forensics/TraceCopy.hpp"

#include <algorithm>
#include <cmath>

namespace penvora::core::forensics {
namespace {

constexpr double kTolerance = 0.01;

struct Frame {
  double x0, y0, t0, size, duration;
};

Frame frameOf(const PenSignature& s) {
  const auto& p = s.samples;
  const auto [xMin, xMax] = std::minmax_element(p.begin(), p.end(), [](auto& a, auto& b) { return a.x < b.x; });
  const auto [yMin, yMax] = std::minmax_element(p.begin(), p.end(), [](auto& a, auto& b) { return a.y < b.y; });
  return {p.front().x, p.front().y, p.front().time, std::max(xMax->x - xMin->x, yMax->y - yMin->y),
          p.back().time - p.front().time};
}

}  // namespace

bool TraceCopy::isCopy(const PenSignature& a, const PenSignature& b) {
  if (a.samples.size() != b.samples.size() || a.samples.empty()) return false;
  if (a.samples == b.samples) return true;
  const Frame fa = frameOf(a), fb = frameOf(b);
  // A trace without extent or duration has nothing to compare by.
  if (fa.size <= 0 || fb.size <= 0 || fa.duration <= 0 || fb.duration <= 0) return false;
  for (std::size_t i = 0; i < a.samples.size(); ++i) {
    const PenSample &p = a.samples[i], &q = b.samples[i];
    if (std::fabs((p.x - fa.x0) / fa.size - (q.x - fb.x0) / fb.size) > kTolerance ||
        std::fabs((p.y - fa.y0) / fa.size - (q.y - fb.y0) / fb.size) > kTolerance ||
        std::fabs((p.time - fa.t0) / fa.duration - (q.time - fb.t0) / fb.duration) > kTolerance)
      return false;
  }
  return true;
}

}  // namespace penvora::core::forensics
