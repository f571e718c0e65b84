#include <gtest/gtest.h>

#include <set>

#include "penvora/ESSParams.hpp"
#include "penvora/PenvoraSDKParams.hpp"

using namespace penvora;

TEST(DefaultConstructors, GiveTheDocumentedDefaults) {
  PenvoraSDKParams p;
  EXPECT_EQ(p.fileProperties->signedName, "penvora_document.pdf");
  EXPECT_TRUE(p.fileProperties->isShareable);
  EXPECT_FLOAT_EQ(p.widget->widgetManualRatio, 1.5f);
  EXPECT_EQ(p.widget->widgetWidth, 150);
  EXPECT_EQ(p.widget->widgetHeight, 100);
  EXPECT_EQ(PenvoraSDKWidgetCustomText().fontSize, 11);
  EXPECT_EQ(p.extra->signatureColorHex, "#000000");
  EXPECT_EQ(p.extra->signatureThickness, 10);
  EXPECT_EQ(p.extra->fullScreen, true);
  EXPECT_TRUE(p.certificate->handwrittenSignature);
  EXPECT_FALSE(p.tsp->tspActivate);
  EXPECT_EQ(p.tsp->tspUser, "");
  EXPECT_EQ(p.widget->flexible, false);
  EXPECT_FALSE(p.widget->widgetFixedPage.has_value());
  EXPECT_FALSE(p.widget->widgetFloatGapX.has_value());
  EXPECT_FALSE(p.commonProperties->renderDefaultIndexPage.has_value());
}

TEST(FullConstructors, UseTheirOwnSubstitutes) {
  PenvoraSDKTSP tsp(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  EXPECT_TRUE(tsp.tspActivate);
  EXPECT_EQ(tsp.tspURL, kDefaultTspURL);
  EXPECT_FALSE(tsp.tspUser.has_value());

  PenvoraSDKWidget w(PenvoraSDKWidgetType::fixed, std::nullopt, std::nullopt, std::nullopt,
                     std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                     std::nullopt, std::nullopt, {}, std::nullopt, std::nullopt, std::nullopt,
                     false, true);
  EXPECT_EQ(w.widgetFixedPage, 0);
  EXPECT_EQ(w.widgetFixedX, 0);
  EXPECT_EQ(w.widgetFixedY, 0);
  EXPECT_EQ(w.widgetFloatGapX, 0);
  EXPECT_EQ(w.widgetFloatGapY, 0);
  EXPECT_EQ(w.flexible, false);
  EXPECT_FLOAT_EQ(w.widgetManualRatio, 1.5f);
  EXPECT_EQ(w.widgetWidth, 150);
  EXPECT_TRUE(w.invisibleSignature);

  PenvoraSDKWidget t(PenvoraSDKWidgetType::float_, "x", std::nullopt, 2.0, 3.9, -2.7, 1e300,
                     120.5, std::nullopt, 7.99, std::nullopt, {}, std::nullopt, true, true, true,
                     false);
  EXPECT_EQ(t.widgetFixedPage, 3);   // truncated
  EXPECT_EQ(t.widgetFixedX, -2);     // toward zero
  EXPECT_EQ(t.widgetFixedY, INT64_MAX);  // saturated, not undefined
  EXPECT_EQ(t.widgetWidth, 120);
  EXPECT_EQ(t.widgetHeight, 100);
  EXPECT_EQ(t.widgetFloatGapX, 7);
  EXPECT_EQ(t.widgetFloatGapY, 0);

  PenvoraSDKFileProperties f("/a.pdf", {}, std::nullopt, false);
  EXPECT_EQ(f.signedName, "penvora_document.pdf");
  EXPECT_EQ(f.password, "");

  PenvoraSDKExtra e(std::nullopt, std::nullopt, std::nullopt, 3, true, std::nullopt, false);
  EXPECT_EQ(e.signatureColorHex, "#000000");
  EXPECT_EQ(e.fullScreen, true);
  EXPECT_TRUE(e.showReject);

  PenvoraSDKCommonProperties c(std::nullopt, true, 4, "r", false);
  EXPECT_EQ(c.renderDefaultIndexPage, 4);
}

TEST(FullConstructors, RootSharesMembersAndFillsMissingOnes) {
  auto file = std::make_shared<PenvoraSDKFileProperties>();
  PenvoraSDKParams p(file, std::make_shared<PenvoraSDKCommonProperties>(),
                     std::make_shared<PenvoraSDKWidget>());
  ASSERT_TRUE(p.tsp && p.extra && p.certificate);
  EXPECT_FALSE(p.tsp->tspActivate);  // default-constructed, not the full constructor's true
  p.fileProperties->password = "typed";
  EXPECT_EQ(file->password, "typed");  // the host sees the component's write
}

TEST(WidgetType, RawValuesOrderAndStrings) {
  EXPECT_EQ(widgetTypeFromRawValue(0), PenvoraSDKWidgetType::manual);
  EXPECT_EQ(widgetTypeFromRawValue(3), PenvoraSDKWidgetType::float_);
  EXPECT_FALSE(widgetTypeFromRawValue(4).has_value());
  EXPECT_FALSE(widgetTypeFromRawValue(-1).has_value());
  std::vector<std::int64_t> raws;
  for (auto t : allWidgetTypes) raws.push_back(rawValue(t));
  EXPECT_EQ(raws, (std::vector<std::int64_t>{0, 1, 2, 3}));
  std::set<PenvoraSDKWidgetType> set(allWidgetTypes.begin(), allWidgetTypes.end());
  EXPECT_EQ(set.size(), 4u);
  for (auto t : allWidgetTypes) EXPECT_EQ(widgetTypeFromJsonString(widgetTypeJsonString(t)), t);
  EXPECT_EQ(description(PenvoraSDKWidgetType::float_), "float");
  EXPECT_EQ(description(PenvoraSDKWidgetType::field, [](std::string_view k) { return "<" + std::string(k) + ">"; }),
            "<field>");
}

TEST(ESSParamsRecord, StartsUnplaced) {
  ESSParams r;
  EXPECT_EQ(r.page, -1);
  EXPECT_EQ(r.bounds, Rect{});
  EXPECT_TRUE(r.jpgB64.empty());
  EXPECT_TRUE(r.pointsB64.empty());
}
