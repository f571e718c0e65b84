#include "core/capture/StrokeGeometry.hpp"

#include <gtest/gtest.h>

using namespace penvora::core::capture;

TEST(StrokeGeometryTest, WidthFollowsSpeedAndClamps) {
  EXPECT_DOUBLE_EQ(nextWidth(0.0, 10.0, 1.0, 4.0), 2.5);   // first step of a new view: 25/d
  EXPECT_DOUBLE_EQ(nextWidth(4.0, 10.0, 1.0, 4.0), 4.0);   // 4.5 clamped to the maximum
  EXPECT_DOUBLE_EQ(nextWidth(1.0, 100.0, 1.0, 4.0), 1.0);  // 0.75 raised to the minimum
  EXPECT_DOUBLE_EQ(nextWidth(2.0, 20.0, 1.0, 4.0), 2.25);  // 25/20 + 2/2
  EXPECT_DOUBLE_EQ(nextWidth(0.0, 1.0, 1.0, 4.0), 4.0);    // exactly the maximum counts as reaching it
}

TEST(StrokeGeometryTest, PerpendicularIsATurnOfOnePointFiveSevenRadians) {
  const Point r = rotated({1, 0});
  EXPECT_DOUBLE_EQ(r.x, kCos157);
  EXPECT_DOUBLE_EQ(r.y, kSin157);
  EXPECT_NEAR(kCos157, std::cos(1.57), 1e-16);
  EXPECT_NEAR(kSin157, std::sin(1.57), 1e-16);
}

TEST(StrokeGeometryTest, RibbonEdgesSitHalfAWidthEitherSide) {
  // A horizontal segment: E (0,0), P (10,0), M (15,0), widths 2 then 4.
  const Segment s = ribbon({0, 0}, {10, 0}, {15, 0}, 2.0, 4.0);
  EXPECT_NEAR(s.start.y, 1.0, 1e-3);   // E + w0/2 across
  EXPECT_NEAR(s.end2.y, -1.0, 1e-3);   // E - w0/2
  EXPECT_NEAR(s.end1.y, 2.0, 1e-3);    // M - r3 with r3 pointing against the motion: +w1/2
  EXPECT_NEAR(s.lineTo.y, -2.0, 1e-3);
  EXPECT_NEAR(s.control1.y, 1.5, 1e-3);  // P - r2, r2 = (w0 + w1) / 4 the other way
  EXPECT_NEAR(s.control2.y, -1.5, 1e-3);
  EXPECT_NEAR(s.end1.x, 15.0, 1e-2);
}
