#pragma once
#include <limits>
#include <vector>

#include "core/forensics/SignatureFeatures.hpp"

namespace penvora::core::forensics {

// Dependent dynamic time warping of two local-feature series: L1 local
// cost, each feature's difference capped at `cap` and then weighted, steps right, down and diagonal, inside a
// Sakoe-Chiba band around the diagonal scaled to both lengths. The total
// cost divided by the sum of the lengths, so long and short signatures
// compare on one scale.
class DynamicTimeWarping {
 public:
  // `band`: half-width as a fraction of the longer series (at least 2
  // points). `weights`: one per local feature, empty for all 1. `cap`:
  // infinity for a plain L1 cost. A distance
  // that would exceed `abandonAbove` is given up early and returned as
  // infinity, for callers that only need it when it is the smaller.
  static double distance(const SignatureFeatures& a, const SignatureFeatures& b, double band,
                         const std::vector<float>& weights, float cap,
                         double abandonAbove = std::numeric_limits<double>::infinity());
};

}  // namespace penvora::core::forensics
