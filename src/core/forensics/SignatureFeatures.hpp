#pragma once
#include <cstddef>
#include <vector>

#include "core/forensics/PenSignature.hpp"

namespace penvora::core::forensics {

// A signature made ready for comparison: resampled at a fixed time step,
// cut into strokes at the pen lifts, and described by a time series of
// local features (one row per resampled point) and a few global ones.
struct SignatureFeatures {
  std::size_t dims = 0;        // local features per point
  std::vector<float> local;    // points × dims, each feature z-normalised over the signature
  std::vector<double> global;  // duration, strokes, pen-down ratio, path, shape, speed, ... (see extract)
  // The resampled pen path, centred and scaled (for drawing and alignment).
  std::vector<double> x, y, pressure, speed;
  std::vector<std::size_t> strokeStarts;
  std::size_t length() const { return dims ? local.size() / dims : 0; }
};

// How a signature is turned into features; the defaults are what ships.
struct FeatureSettings {
  double stepMs = 10;        // resampling step
  double gapFactor = 4;      // a time gap above this many median steps ...
  double minGapMs = 40;      // ... and above this is a pen lift
  int smoothing = 1;         // half-width of the moving average before derivatives
  bool usePressure = false;  // pressure as a local feature, its mean and spread as global ones
};

class FeatureExtractor {
 public:
  static SignatureFeatures extract(const PenSignature& signature, const FeatureSettings& settings);
};

}  // namespace penvora::core::forensics
