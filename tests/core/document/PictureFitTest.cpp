#include "core/document/PictureFit.hpp"

#include <gtest/gtest.h>

using namespace penvora::core::document;

TEST(PictureFitTest, TheCanvasTakesTheBoxShapeAndHoldsThePicture) {
  EXPECT_EQ(fittedPictureSize(300, 100, 3.0), (PixelSize{300, 100}));
  EXPECT_EQ(fittedPictureSize(300, 100, 3.02), (PixelSize{300, 100}));  // within a percent
  EXPECT_EQ(fittedPictureSize(300, 100, 0.5), (PixelSize{300, 600}));   // a box standing up
  EXPECT_EQ(fittedPictureSize(200, 100, 4.0), (PixelSize{400, 100}));
  EXPECT_EQ(fittedPictureSize(300, 100, 0), (PixelSize{300, 100}));
}
