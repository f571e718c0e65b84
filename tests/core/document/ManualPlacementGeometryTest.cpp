#include "core/document/ManualPlacementGeometry.hpp"
#include "core/document/PageGeometry.hpp"

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

TEST(ManualPlacementGeometryTest, TheExpandHandleFollowsTheFingerOnEveryTurnAndCrop) {
  // The handle is the bottom-right corner as shown; the finger is taken in
  // page space, where the viewer maps it.
  for (const Rect crop : {Rect{0, 0, 600, 800}, Rect{40, 60, 520, 700}}) {
    for (const int rotation : {0, 90, 180, 270}) {
      SCOPED_TRACE(testing::Message() << "rotation " << rotation << ", crop at " << crop.x);
      const Rect box = initialBox(crop, rotation, 2.5);
      const Rect shown = pageRectToShown(box, crop, rotation);
      auto resizedTo = [&](double dx, double dy) {
        const Point finger = shownToPage({shown.x + shown.width + dx, shown.y + shown.height + dy}, crop, rotation);
        return pageRectToShown(resizedToHandle(box, rotation, 2.5, finger, crop), crop, rotation);
      };
      // Along the box's own diagonal the corner lands exactly under the finger.
      const Rect grown = resizedTo(25, 10);
      EXPECT_NEAR(grown.x, shown.x, 1e-9);
      EXPECT_NEAR(grown.y, shown.y, 1e-9);
      EXPECT_NEAR(grown.width, shown.width + 25, 1e-9);
      EXPECT_NEAR(grown.height, shown.height + 10, 1e-9);
      // Not below the smallest box, not past the crop box's edges.
      EXPECT_NEAR(resizedTo(-500, -500).height, kMinSignatureHeight, 1e-9);
      const Rect huge = resizedTo(5000, 5000);
      const Rect page = shownSize(crop, rotation);
      EXPECT_LE(huge.x + huge.width, page.width + 1e-9);
      EXPECT_LE(huge.y + huge.height, page.height + 1e-9);
      EXPECT_NEAR(huge.width / huge.height, 2.5, 1e-9);
    }
  }
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
