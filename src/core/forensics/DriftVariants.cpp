#include "core/forensics/DriftVariants.hpp"

#include <cmath>

namespace penvora::core::forensics {

std::vector<PenSignature> DriftVariants::turned(const PenSignature& signature, double angle) {
  std::vector<PenSignature> out;
  if (angle == 0 || signature.samples.empty()) return out;
  double cx = 0, cy = 0;
  for (const auto& p : signature.samples) cx += p.x, cy += p.y;
  cx /= static_cast<double>(signature.samples.size());
  cy /= static_cast<double>(signature.samples.size());
  for (double a : {-angle, angle}) {
    const double c = std::cos(a), s = std::sin(a);
    PenSignature t = signature;
    for (auto& p : t.samples) {
      const double x = p.x - cx, y = p.y - cy;
      p.x = cx + c * x - s * y;
      p.y = cy + s * x + c * y;
    }
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace penvora::core::forensics
