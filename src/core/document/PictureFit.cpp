#include "core/document/PictureFit.hpp"

#include <cmath>

namespace penvora::core::document {

PixelSize fittedPictureSize(int width, int height, double boxRatio) {
  const PixelSize same{width, height};
  if (width <= 0 || height <= 0 || !std::isfinite(boxRatio) || boxRatio <= 0) return same;
  const double ratio = static_cast<double>(width) / height;
  if (std::abs(ratio - boxRatio) <= 0.01 * boxRatio) return same;
  if (ratio < boxRatio) return {static_cast<int>(std::lround(height * boxRatio)), height};
  return {width, static_cast<int>(std::lround(width / boxRatio))};
}

}  // namespace penvora::core::document
