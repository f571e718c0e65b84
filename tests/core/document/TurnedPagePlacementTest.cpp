#include "core/document/TurnedPagePlacement.hpp"

#include <gtest/gtest.h>

#include "core/document/PageGeometry.hpp"

using namespace penvora;
using namespace penvora::core::document;

TEST(TurnedPagePlacementTest, TheFloatBoxHangsUnderTheTextAsTheUserReadsIt) {
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
    const Rect shownText = core::document::pageRectToShown(text, crop, rotation);
    const Rect shownBox = core::document::pageRectToShown(floatBoundsOnPage(w, text, crop, rotation), crop, rotation);
    SCOPED_TRACE(rotation);
    EXPECT_NEAR(shownBox.x, shownText.x + 10, 1);                      // from the text's left edge
    EXPECT_NEAR(shownBox.y, shownText.y + shownText.height - 5, 1);    // its top 5 above the text's bottom
    EXPECT_EQ(shownBox.width, 150);
    EXPECT_EQ(shownBox.height, 60);
  }
}
