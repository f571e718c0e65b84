#pragma once
#include <vector>

#include "core/forensics/PenSignature.hpp"

namespace penvora::core::forensics {

// Copies of a reference as the same hand may write it in another session.
// On the development data the genuine signatures of a later session lay
// turned by a few degrees against the first session's references, and
// that alone cost more than any other difference between sessions; a
// forger's timing and shape differ in ways no turn makes up for.
class DriftVariants {
 public:
  // The signature turned about its centroid by −angle and +angle
  // (radians, counter-clockwise with y pointing up); none for angle 0.
  static std::vector<PenSignature> turned(const PenSignature& signature, double angle);
};

}  // namespace penvora::core::forensics
