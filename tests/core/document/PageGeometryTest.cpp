#include "core/document/PageGeometry.hpp"

#include <gtest/gtest.h>

#include "core/document/PictureFit.hpp"
#include "core/document/TurnedPagePlacement.hpp"

using namespace penvora;
using namespace penvora::core::document;

TEST(PageGeometryTest, CornersGoWhereATurnedPageShowsThem) {
  const Rect crop{50, 60, 500, 700};  // off the origin
  // The page's top-left corner, (50, 760), as shown under each rotation.
  const std::pair<int, Point> corners[] = {{0, {0, 0}}, {90, {700, 0}}, {180, {500, 700}}, {270, {0, 500}}};
  for (const auto& [rotation, shown] : corners) {  // turned clockwise a quarter: the top-right corner
    const Point p = pageToShown({50, 760}, crop, rotation);
    EXPECT_EQ(std::pair(p.x, p.y), std::pair(shown.x, shown.y)) << rotation;
  }
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

TEST(PageGeometryTest, TheFloatBoxHangsUnderTheTextAsTheUserReadsIt) {
  PenvoraSDKWidget w;
  w.widgetType = PenvoraSDKWidgetType::float_;
  w.widgetWidth = 150;
  w.widgetHeight = 60;
  w.widgetFloatGapX = 10;
  w.widgetFloatGapY = 5;
  const Rect crop{40, 60, 520, 700};
  const Rect text{300.2, 400.7, 12, 80};  // a word as it sits on a page turned a quarter
  // Upright pages keep the rule as it stands, in page space.
  EXPECT_EQ(floatBoundsOnPage(w, {72.9, 500.4, 80, 12}, crop, 0), (Rect{82, 445, 150, 60}));
  for (int rotation : {90, 180, 270}) {
    const Rect shownText = pageRectToShown(text, crop, rotation);
    const Rect shownBox = pageRectToShown(floatBoundsOnPage(w, text, crop, rotation), crop, rotation);
    SCOPED_TRACE(rotation);
    EXPECT_NEAR(shownBox.x, shownText.x + 10, 1);                    // from the text's left edge
    EXPECT_NEAR(shownBox.y, shownText.y + shownText.height - 5, 1);  // its top 5 above the text's bottom
    EXPECT_EQ(std::pair(shownBox.width, shownBox.height), std::pair(150.0, 60.0));
  }
}

TEST(PageGeometryTest, TheCanvasTakesTheBoxShapeAndHoldsThePicture) {
  EXPECT_EQ(fittedPictureSize(300, 100, 3.0), (PixelSize{300, 100}));
  EXPECT_EQ(fittedPictureSize(300, 100, 3.02), (PixelSize{300, 100}));  // within a percent
  EXPECT_EQ(fittedPictureSize(300, 100, 0.5), (PixelSize{300, 600}));   // a box standing up
  EXPECT_EQ(fittedPictureSize(200, 100, 4.0), (PixelSize{400, 100}));
  EXPECT_EQ(fittedPictureSize(300, 100, 0), (PixelSize{300, 100}));
  // A field of a hair's height or width: bounded, never negative.
  EXPECT_EQ(fittedPictureSize(600, 200, 1e8), (PixelSize{16384, 200}));
  EXPECT_EQ(fittedPictureSize(600, 200, 1e-300), (PixelSize{600, 16384}));
  EXPECT_EQ(fittedPictureSize(600, 200, 1e300), (PixelSize{16384, 200}));
}
