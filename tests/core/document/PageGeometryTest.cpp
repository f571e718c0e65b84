#include "core/document/PageGeometry.hpp"

#include <gtest/gtest.h>

using namespace penvora;
using namespace penvora::core::document;

namespace {

TEST(PageGeometryTest, CornersGoWhereATurnedPageShowsThem) {
  const Rect crop{50, 60, 500, 700};  // off the origin
  // The page's top-left corner, (50, 760), as shown under each rotation.
  EXPECT_EQ(pageToShown({50, 760}, crop, 0).x, 0);
  EXPECT_EQ(pageToShown({50, 760}, crop, 90).x, 700);  // turned clockwise: top-right
  EXPECT_EQ(pageToShown({50, 760}, crop, 90).y, 0);
  EXPECT_EQ(pageToShown({50, 760}, crop, 180).x, 500);
  EXPECT_EQ(pageToShown({50, 760}, crop, 180).y, 700);
  EXPECT_EQ(pageToShown({50, 760}, crop, 270).x, 0);
  EXPECT_EQ(pageToShown({50, 760}, crop, 270).y, 500);
  EXPECT_EQ(shownSize(crop, 90).width, 700);
  EXPECT_EQ(shownSize(crop, 180).width, 500);
}

TEST(PageGeometryTest, ShownAndPageSpaceAreInverse) {
  const Rect crop{-20, 30, 612, 792};
  for (int rotation : {0, 90, 180, 270}) {
    for (Point p : {Point{0, 0}, Point{100.5, 200.25}, Point{591, 821}}) {
      const Point back = shownToPage(pageToShown(p, crop, rotation), crop, rotation);
      EXPECT_NEAR(back.x, p.x, 1e-9) << rotation;
      EXPECT_NEAR(back.y, p.y, 1e-9) << rotation;
    }
    const Rect box{100, 100, 200, 60};
    const Rect shown = pageRectToShown(box, crop, rotation);
    const bool quarter = rotation % 180 != 0;
    EXPECT_NEAR(shown.width, quarter ? 60 : 200, 1e-9);
    EXPECT_NEAR(shown.height, quarter ? 200 : 60, 1e-9);
    EXPECT_EQ(shownRectToPage(shown, crop, rotation), box);
  }
}

}  // namespace
