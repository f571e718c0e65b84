#include "core/document/ManualPlacementGeometry.hpp"

#include <gtest/gtest.h>

using namespace penvora;
using namespace penvora::core::document;

TEST(ManualPlacementGeometryTest, TheNewBoxIsCentredWithIconsAtTheCornersTheUserSees) {
  const Rect crop{0, 0, 600, 800};
  const Rect box = initialBox(crop, 0, 2.5);
  EXPECT_EQ(box, (Rect{206.25, 362.5, 187.5, 75}));
  EXPECT_EQ(iconBounds(Icon::close, box, 0), (Rect{186.25, 417.5, 40, 40}));
  EXPECT_EQ(iconBounds(Icon::accept, box, 0), (Rect{373.75, 417.5, 40, 40}));
  EXPECT_EQ(iconBounds(Icon::expand, box, 0), (Rect{373.75, 342.5, 40, 40}));

  // A page turned a quarter: the box stands upright in page space.
  const Rect turned = initialBox(crop, 90, 2.5);
  EXPECT_EQ(turned, (Rect{262.5, 306.25, 75, 187.5}));
  EXPECT_EQ(iconBounds(Icon::close, turned, 90), (Rect{242.5, 286.25, 40, 40}));  // (min x, min y)
  EXPECT_EQ(iconBounds(Icon::accept, turned, 90), (Rect{242.5, 473.75, 40, 40}));
  EXPECT_EQ(iconBounds(Icon::expand, turned, 270), (Rect{242.5, 286.25, 40, 40}));
  EXPECT_EQ(iconBounds(Icon::close, turned, 180), (Rect{317.5, 286.25, 40, 40}));

  // A crop box that does not start at the origin.
  EXPECT_EQ(initialBox({100, 50, 400, 300}, 0, 2), (Rect{225, 162.5, 150, 75}));
}

TEST(ManualPlacementGeometryTest, DraggingKeepsTheBoxOnThePage) {
  const Rect box{206.25, 362.5, 187.5, 75}, page{0, 0, 600, 800};
  EXPECT_EQ(movedBox(box, {5, 400}, page).x, 0);
  EXPECT_EQ(movedBox(box, {599, 400}, page).x, 600 - 187.5);
  EXPECT_EQ(movedBox(box, {300, 790}, page).y, 800 - 75);
  EXPECT_EQ(movedBox(box, {300, -20}, page).y, 0);
  EXPECT_EQ(movedBox(box, {300, 400}, page), (Rect{206.25, 362.5, 187.5, 75}));
  // Within a crop box off the origin: its edges, not 0 and its size.
  const Rect crop{100, 50, 400, 300};
  EXPECT_EQ(movedBox(box, {5, 200}, crop).x, 100);
  EXPECT_EQ(movedBox(box, {599, 200}, crop).x, 500 - 187.5);
  EXPECT_EQ(movedBox(box, {300, 0}, crop).y, 50);
  EXPECT_EQ(movedBox(box, {300, 200}, crop), (Rect{206.25, 162.5, 187.5, 75}));  // inside: centred on the touch
}

TEST(ManualPlacementGeometryTest, ResizingOnAnUprightPageFollowsTheFingerWithinLimits) {
  const Rect box{206.25, 362.5, 187.5, 75}, page{0, 0, 600, 800};
  // Ten points to the right: bigger, top edge unchanged.
  const auto grown = resizedBox(box, 0, 2.5, {100, 0}, {110, 0}, page);
  ASSERT_TRUE(grown);
  EXPECT_EQ(*grown, (Rect{206.25, 352.5, 212.5, 85}));
  EXPECT_EQ(grown->y + grown->height, box.y + box.height);
  // Far to the left: never below the smallest box.
  const auto shrunk = resizedBox(box, 0, 2.5, {100, 0}, {0, 0}, page);
  EXPECT_EQ(*shrunk, box);
  // Past the right edge: as wide as the page allows.
  const auto wide = resizedBox(box, 0, 2.5, {0, 0}, {300, 0}, page);
  EXPECT_EQ(wide->x + wide->width, 600);
  EXPECT_LE(wide->height, wide->width / 2.5);
  // A crop box off the origin moves the right edge with it.
  const auto cropped = resizedBox(box, 0, 2.5, {0, 0}, {300, 0}, {100, 0, 600, 800});
  EXPECT_EQ(cropped->x + cropped->width, 700);
}

TEST(ManualPlacementGeometryTest, ResizingOnTurnedPagesGoesInStepsAndIgnoresWhatBreaksALimit) {
  const Rect page{0, 0, 600, 800};
  const Rect turned{262.5, 306.25, 75, 187.5};
  EXPECT_EQ(*resizedBox(turned, 90, 2.5, {100, 0}, {100, 0}, page), (Rect{262.5, 306.25, 77, 192.5}));
  EXPECT_EQ(*resizedBox(turned, 90, 2.5, {100, 0}, {90, 0}, page), (Rect{262.5, 306.25, 73, 182.5}));
  EXPECT_FALSE(resizedBox({0, 0, 50, 125}, 90, 2.5, {100, 0}, {90, 0}, page));   // too small
  EXPECT_FALSE(resizedBox({560, 0, 40, 100}, 90, 2.5, {0, 0}, {9, 0}, page));    // off the page
  EXPECT_EQ(*resizedBox({100, 100, 187.5, 75}, 180, 2.5, {0, 0}, {5, 0}, page),
            (Rect{96.25, 100, 191.25, 76.5}));
  EXPECT_FALSE(resizedBox({1, 100, 187.5, 75}, 180, 2.5, {0, 0}, {5, 0}, page));  // x < 0
  EXPECT_EQ(*resizedBox({100, 100, 75, 187.5}, 270, 2.5, {5, 0}, {0, 0}, page),
            (Rect{101.5, 103.75, 73.5, 183.75}));
  EXPECT_FALSE(resizedBox({1, 100, 75, 187.5}, 270, 2.5, {0, 0}, {5, 0}, page));
  EXPECT_FALSE(resizedBox({41, 100, 75, 187.5}, 270, 2.5, {0, 0}, {5, 0}, {40, 0, 600, 800}));  // left of the crop
}

TEST(ManualPlacementGeometryTest, AcceptedSidesAndAutoScroll) {
  // The box where it was drawn, whatever the rotation; corners on whole
  // points (cutting origin and sides would move the far corner by up to 2).
  EXPECT_EQ(acceptedBounds({10, 20, 75, 187.5}), (Rect{10, 20, 75, 188}));
  EXPECT_EQ(acceptedBounds({10.6, 20.4, 75.8, 187.5}), (Rect{11, 20, 75, 188}));

  EXPECT_EQ(autoScrollOffset(50, 200, 1000, 900, 3000), 190);
  EXPECT_EQ(autoScrollOffset(50, 5, 1000, 900, 3000), std::nullopt);  // already at the top
  EXPECT_EQ(autoScrollOffset(950, 200, 1000, 900, 3000), 210);
  EXPECT_EQ(autoScrollOffset(950, 200, 1000, 3000, 3000), std::nullopt);  // at the bottom
  EXPECT_EQ(autoScrollOffset(500, 200, 1000, 900, 3000), std::nullopt);
}
