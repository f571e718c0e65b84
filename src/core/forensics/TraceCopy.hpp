#pragma once
#include "core/forensics/PenSignature.hpp"

namespace penvora::core::forensics {

// Whether `b` is `a`'s pen trace again, moved, scaled or shifted in time:
// the same number of points, each where the other's lies once both are
// set at their first point and measured in their own size and duration
// (within 1 %, so rounding to whole units after a scaling still matches).
// Two handwritten signatures never agree point for point like that, so
// such a pair is one signature given twice, or a trace replayed as a new
// one. Pressure is left out: a copy may carry any.
class TraceCopy {
 public:
  static bool isCopy(const PenSignature& a, const PenSignature& b);
};

}  // namespace penvora::core::forensics
