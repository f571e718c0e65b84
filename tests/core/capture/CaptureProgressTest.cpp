#include "core/capture/CaptureProgress.hpp"
#include "core/capture/DeviceOrientation.hpp"

#include <gtest/gtest.h>

using namespace penvora::core::capture;

TEST(CaptureProgressTest, ThresholdsFallOnTheExpectedPointCounts) {
  EXPECT_EQ(progressLevel(progressValue(22)), ProgressLevel::red);
  EXPECT_EQ(progressLevel(progressValue(23)), ProgressLevel::orange);  // 0.307
  EXPECT_EQ(progressLevel(progressValue(44)), ProgressLevel::orange);
  EXPECT_EQ(progressLevel(progressValue(45)), ProgressLevel::green);   // exactly 0.6
  EXPECT_FALSE(acceptEnabled(progressValue(24)));
  EXPECT_TRUE(acceptEnabled(progressValue(25)));
  EXPECT_GT(progressValue(150), 1.0f);  // not clamped; the bar clamps
}

TEST(CaptureProgressTest, OnlyASwapBetweenPortraitAndLandscapeClears) {
  using O = DeviceOrientation;
  EXPECT_TRUE(orientationChangeClearsDrawing(false, O::landscapeLeft));
  EXPECT_TRUE(orientationChangeClearsDrawing(false, O::landscapeRight));
  EXPECT_TRUE(orientationChangeClearsDrawing(true, O::portrait));
  EXPECT_TRUE(orientationChangeClearsDrawing(true, O::portraitUpsideDown));
  EXPECT_FALSE(orientationChangeClearsDrawing(false, O::portraitUpsideDown));
  EXPECT_FALSE(orientationChangeClearsDrawing(true, O::landscapeRight));
  for (O flat : {O::faceUp, O::faceDown, O::unknown}) {
    EXPECT_FALSE(orientationChangeClearsDrawing(true, flat));
    EXPECT_FALSE(orientationChangeClearsDrawing(false, flat));
    EXPECT_FALSE(isLandscape(flat));
  }
}
