#pragma once

// The captured picture against the box it is signed into. The signer
// stretches the picture over the whole box, so a picture of another shape
// (a capture made before the page's rotation was known, a signature field
// of an unusual shape) would come out distorted.
namespace penvora::core::document {

struct PixelSize {
  int width = 0, height = 0;
  bool operator==(const PixelSize&) const = default;
};

// The smallest canvas of the box's shape (width ÷ height = boxRatio) that
// holds the picture; the picture's own size when the shapes agree within
// one percent or the ratio is not usable.
PixelSize fittedPictureSize(int width, int height, double boxRatio);

}  // namespace penvora::core::document
