// The small rules of the capture screen: progress, orientation, stroke
// width and ribbon, and the device texts that go into the record.
#include <gtest/gtest.h>

#include "core/capture/CaptureProgress.hpp"
#include "core/capture/DeviceInfo.hpp"
#include "core/capture/DeviceOrientation.hpp"
#include "core/capture/LocationFix.hpp"
#include "core/capture/StrokeGeometry.hpp"

using namespace penvora::core::capture;

TEST(CaptureProgressTest, ThresholdsFallOnTheExpectedPointCounts) {
  EXPECT_EQ(progressLevel(progressValue(22)), ProgressLevel::red);
  EXPECT_EQ(progressLevel(progressValue(23)), ProgressLevel::orange);  // 0.307
  EXPECT_EQ(progressLevel(progressValue(44)), ProgressLevel::orange);
  EXPECT_EQ(progressLevel(progressValue(45)), ProgressLevel::green);  // exactly 0.6
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

TEST(StrokeGeometryTest, WidthFollowsSpeedAndClamps) {
  EXPECT_DOUBLE_EQ(nextWidth(0.0, 10.0, 1.0, 4.0), 2.5);   // first step of a new view: 25/d
  EXPECT_DOUBLE_EQ(nextWidth(4.0, 10.0, 1.0, 4.0), 4.0);   // 4.5 clamped to the maximum
  EXPECT_DOUBLE_EQ(nextWidth(1.0, 100.0, 1.0, 4.0), 1.0);  // 0.75 raised to the minimum
  EXPECT_DOUBLE_EQ(nextWidth(2.0, 20.0, 1.0, 4.0), 2.25);  // 25/20 + 2/2
  EXPECT_DOUBLE_EQ(nextWidth(0.0, 1.0, 1.0, 4.0), 4.0);    // exactly the maximum counts as reaching it
}

TEST(StrokeGeometryTest, RibbonEdgesSitHalfAWidthEitherSide) {
  // A horizontal segment: E (0,0), P (10,0), M (15,0), widths 2 then 4.
  const Segment s = ribbon({0, 0}, {10, 0}, {15, 0}, 2.0, 4.0);
  EXPECT_NEAR(s.start.y, 1.0, 1e-3);  // E + w0/2 across
  EXPECT_NEAR(s.end2.y, -1.0, 1e-3);  // E - w0/2
  EXPECT_NEAR(s.end1.y, 2.0, 1e-3);   // M - r3 with r3 pointing against the motion: +w1/2
  EXPECT_NEAR(s.lineTo.y, -2.0, 1e-3);
  EXPECT_NEAR(s.control1.y, 1.5, 1e-3);  // P - r2, r2 = (w0 + w1) / 4 the other way
  EXPECT_NEAR(s.control2.y, -1.5, 1e-3);
  EXPECT_NEAR(s.end1.x, 15.0, 1e-2);
}
