#include <gtest/gtest.h>

#include "penvora/PenvoraSDKParams.hpp"

using namespace penvora;

TEST(FullConstructors, AbsentValuesGetSubstitutesAndNumbersTruncate) {
  PenvoraSDKTSP tsp(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  EXPECT_TRUE(tsp.tspActivate);
  EXPECT_EQ(tsp.tspURL, kDefaultTspURL);
  EXPECT_FALSE(tsp.tspUser.has_value());

  PenvoraSDKWidget w(PenvoraSDKWidgetType::fixed, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                     std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}, std::nullopt,
                     std::nullopt, std::nullopt, false, true);
  EXPECT_EQ(std::vector({w.widgetFixedPage, w.widgetFixedX, w.widgetFixedY, w.widgetFloatGapX, w.widgetFloatGapY}),
            std::vector<std::optional<std::int64_t>>(5, 0));
  EXPECT_FLOAT_EQ(w.widgetManualRatio, 1.5f);
  EXPECT_TRUE(w.invisibleSignature);

  PenvoraSDKWidget t(PenvoraSDKWidgetType::float_, "x", std::nullopt, 2.0, 3.9, -2.7, 1e300, 120.5, std::nullopt, 7.99,
                     std::nullopt, {}, std::nullopt, true, true, true, false);
  EXPECT_EQ(t.widgetFixedPage, 3);       // truncated
  EXPECT_EQ(t.widgetFixedX, -2);         // toward zero
  EXPECT_EQ(t.widgetFixedY, INT64_MAX);  // saturated, not undefined
  EXPECT_EQ(t.widgetWidth, 120);
  EXPECT_EQ(t.widgetHeight, 100);
  EXPECT_EQ(t.widgetFloatGapX, 7);
  EXPECT_EQ(t.widgetFloatGapY, 0);

  EXPECT_EQ(PenvoraSDKFileProperties("/a.pdf", {}, std::nullopt, false).signedName, "penvora_document.pdf");
  PenvoraSDKExtra e(std::nullopt, std::nullopt, std::nullopt, 3, true, std::nullopt, false);
  EXPECT_EQ(e.signatureColorHex, "#000000");
  EXPECT_EQ(e.fullScreen, true);
}
