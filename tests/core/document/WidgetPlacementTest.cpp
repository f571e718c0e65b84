#include "core/document/TurnedPagePlacement.hpp"
#include "core/document/WidgetPlacement.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace penvora;
using namespace penvora::core::document;

namespace {

PenvoraSDKWidget widget(PenvoraSDKWidgetType type, std::int64_t w = 150, std::int64_t h = 100) {
  PenvoraSDKWidget x;
  x.widgetType = type;
  x.widgetWidth = w;
  x.widgetHeight = h;
  return x;
}

// Keys come back bracketed, so a test sees which were looked up.
std::string bracket(const std::string& key) { return "<" + key + ">"; }
std::optional<std::string> check(const PenvoraSDKWidget& w, bool textFound = true) {
  return validateWidget(
      w, [&](const std::string&) { return textFound; }, bracket);
}

TEST(WidgetPlacementTest, FixedAndFloatBoxesMustBeLargeAndNotTooWide) {
  using T = PenvoraSDKWidgetType;
  using Sizes = std::initializer_list<std::pair<int, int>>;
  for (auto [w, h] : Sizes{{150, 100}, {400, 100}, {50, 50}}) EXPECT_EQ(check(widget(T::fixed, w, h)), std::nullopt);
  for (auto [w, h] : Sizes{{100, 150}, {401, 100}}) EXPECT_EQ(check(widget(T::fixed, w, h)), "<IncorrectRatio>");
  EXPECT_EQ(check(widget(T::fixed, 60, 49)), "<IncorrectSignatureSize>");
  EXPECT_EQ(check(widget(T::field, 1, 1000)), std::nullopt);  // fields are not checked
}

TEST(WidgetPlacementTest, ManualRatioBoundsAreInclusiveAndNaNFails) {
  auto w = widget(PenvoraSDKWidgetType::manual);
  for (float ok : {1.0f, 4.0f, 2.2f}) {
    w.widgetManualRatio = ok;
    EXPECT_EQ(check(w), std::nullopt) << ok;
    EXPECT_FLOAT_EQ(signatureRatio(w, std::nullopt), ok);
  }
  for (float bad : {0.99f, 4.01f, std::nanf("")}) {
    w.widgetManualRatio = bad;
    EXPECT_EQ(check(w), "<IncorrectRatio>") << bad;
    EXPECT_FLOAT_EQ(signatureRatio(w, std::nullopt), 2.5f);
  }
}

TEST(WidgetPlacementTest, FloatChecksTheTextFirstThenTheSize) {
  auto w = widget(PenvoraSDKWidgetType::float_, 10, 10);
  EXPECT_EQ(check(w), "<IncorrectFindTextNil>");
  w.widgetFloatText = "Firma";
  EXPECT_EQ(check(w, false), "<IncorrectFloatText> 'Firma' <onDocument>");
  EXPECT_EQ(check(w, true), "<IncorrectSignatureSize>");
}

TEST(WidgetPlacementTest, RatioOfTheCaptureArea) {
  EXPECT_FLOAT_EQ(signatureRatio(widget(PenvoraSDKWidgetType::fixed, 300, 100), std::nullopt), 3.0f);
  EXPECT_FLOAT_EQ(signatureRatio(widget(PenvoraSDKWidgetType::float_, 100, 150), std::nullopt), 2.5f);
  const auto field = widget(PenvoraSDKWidgetType::field);
  EXPECT_FLOAT_EQ(signatureRatio(field, Rect{0, 0, 200, 60}), 200.0f / 60.0f);
  EXPECT_FLOAT_EQ(signatureRatio(field, Rect{0, 0, 60, 200}), 2.5f);
  EXPECT_FLOAT_EQ(signatureRatio(field, std::nullopt), 2.5f);
  // A fixed box takes the shape the user sees: on a page turned a quarter,
  // 300 x 100 stands on its side, and a capture can be no narrower than square.
  const auto fixed = widget(PenvoraSDKWidgetType::fixed, 300, 100);
  EXPECT_FLOAT_EQ(fixedCaptureRatio(fixed, 0), 3.0f);
  EXPECT_FLOAT_EQ(fixedCaptureRatio(fixed, 180), 3.0f);
  EXPECT_FLOAT_EQ(fixedCaptureRatio(fixed, 90), 1.0f);
  EXPECT_FLOAT_EQ(fixedCaptureRatio(widget(PenvoraSDKWidgetType::fixed, 100, 500), 270), 4.0f);
}

TEST(WidgetPlacementTest, NamedFieldWinsLastInOrderElseTheFirst) {
  const std::vector<FieldCandidate> annots{{false, "B"}, {true, "A"}, {true, "B"}, {true, std::nullopt}, {true, "B"}};
  EXPECT_EQ(findSignatureField(annots, "B").chosen(), 4u);
  EXPECT_EQ(findSignatureField(annots, "C").chosen(), 1u);
  EXPECT_EQ(findSignatureField(annots, std::nullopt).chosen(), 3u);  // absent matches absent
  EXPECT_EQ(findSignatureField({{false, "B"}}, "B").chosen(), std::nullopt);
}

TEST(WidgetPlacementTest, FixedAndFloatBoxes) {
  auto w = widget(PenvoraSDKWidgetType::fixed);
  EXPECT_EQ(fixedBounds(w), (Rect{0, 0, 150, 100}));
  EXPECT_EQ(fixedPage(w), 1);
  w.widgetFixedPage = 3;
  w.widgetFixedX = 20;
  w.widgetFixedY = 30;
  EXPECT_EQ(fixedBounds(w), (Rect{20, 30, 150, 100}));
  EXPECT_EQ(boxWidth(500, 100), 200);

  auto f = widget(PenvoraSDKWidgetType::float_, 150, 100);
  f.widgetFloatGapX = 10;
  f.widgetFloatGapY = 5;
  EXPECT_EQ(floatBounds(f, Rect{72.9, 500.4, 40, 12}), (Rect{82, 405, 150, 100}));
  f.widgetFloatGapX = f.widgetFloatGapY = std::nullopt;
  EXPECT_EQ(floatBounds(f, Rect{-3.7, 20.9, 1, 1}), (Rect{-3, -80, 150, 100}));  // truncation toward zero

  // Request numbers at the limits of a JSON integer stop there instead of
  // overflowing (the sanitizer build checks there is no overflow at all).
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max(), kMin = std::numeric_limits<std::int64_t>::min();
  EXPECT_EQ(check(widget(PenvoraSDKWidgetType::fixed, kMax, kMax / 2)), std::nullopt);
  EXPECT_EQ(check(widget(PenvoraSDKWidgetType::fixed, 100, kMin)), "<IncorrectRatio>");
  EXPECT_EQ(boxWidth(kMax, kMax / 3), kMax);
  f.widgetFloatGapX = kMax;
  f.widgetFloatGapY = kMin;
  EXPECT_EQ(floatBounds(f, Rect{10, 10, 1, 1}).x, static_cast<double>(kMax));
  EXPECT_EQ(floatBounds(f, Rect{std::nan(""), 10, 1, 1}).y, static_cast<double>(kMin));
}

}  // namespace
