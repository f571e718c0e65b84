#include "core/document/PictureFit.hpp"

#include <algorithm>
#include <cmath>

namespace penvora::core::document {
namespace {

constexpr double kMaxPictureSide = 16384;  // pixels; a padded signature never needs more

}  // namespace

PixelSize fittedPictureSize(int width, int height, double boxRatio) {
  const PixelSize same{width, height};
  if (width <= 0 || height <= 0 || !std::isfinite(boxRatio) || boxRatio <= 0) return same;
  const double ratio = static_cast<double>(width) / height;
  if (std::abs(ratio - boxRatio) <= 0.01 * boxRatio) return same;
  // A box of a hair's height (a field 200 by 0.00001) asks for no picture
  // of billions of pixels: a side stops at a whole number within bounds.
  auto side = [](double v) { return static_cast<int>(std::clamp(std::round(v), 1.0, kMaxPictureSide)); };
  if (ratio < boxRatio) return {side(height * boxRatio), height};
  return {width, side(width / boxRatio)};
}

}  // namespace penvora::core::document
