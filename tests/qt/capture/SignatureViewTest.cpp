#include "penvora/SignatureView.hpp"

#include <gtest/gtest.h>
#include <QTest>

#include <algorithm>
#include <cmath>

using penvora::SignatureView, penvora::SignatureViewDelegate;
using Phase = SignatureView::PanPhase;

namespace {

// Every notification in order: "tap", "pan", or a point as "x,y@time".
struct Recorder : SignatureViewDelegate {
  std::vector<std::string> events;
  void swiftSignatureViewDidTapInside(SignatureView&) override { events.emplace_back("tap"); }
  void swiftSignatureViewDidPanInside(SignatureView&) override { events.emplace_back("pan"); }
  void signatureViewPointCapture(const QPointF& p, std::int64_t t) override {
    events.push_back(QString("%1,%2@%3").arg(p.x()).arg(p.y()).arg(t).toStdString());
  }
};

// A view on a clock the test turns.
class ClockedView : public SignatureView {
 public:
  using SignatureView::previousPoint;
  using SignatureView::previousWidth;
  using SignatureView::startTime;
  std::int64_t clock = 1'700'000'000'000;
  Recorder r;
  explicit ClockedView(int side = 300) {
    resize(side, side);
    setDelegate(&r);
  }

 protected:
  std::int64_t now() const override { return clock; }
};

int inkAlpha(const QImage& image, QPointF at) {
  const qreal s = image.devicePixelRatio();
  return qAlpha(image.pixel(static_cast<int>(at.x() * s), static_cast<int>(at.y() * s)));
}

TEST(SignatureViewTest, SettersKeepTheInvariants) {
  SignatureView view;
  view.setMaximumStrokeWidth(0.5);  // below the minimum 1.0
  EXPECT_EQ(view.maximumStrokeWidth(), 4.0);
  view.setMinimumStrokeWidth(5.0);  // above the maximum
  EXPECT_EQ(view.minimumStrokeWidth(), 1.0);
  view.setMinimumStrokeWidth(0);
  EXPECT_EQ(view.minimumStrokeWidth(), 1.0);
  view.setStrokeAlpha(0);
  view.setStrokeAlpha(1.5);
  EXPECT_EQ(view.strokeAlpha(), 1.0);
}

TEST(SignatureViewTest, PanReportsAndWidthsFollowTheRules) {
  ClockedView view(400);
  auto& r = view.r;

  view.pan(Phase::began, {10, 10});
  EXPECT_EQ(view.startTime(), view.clock);
  EXPECT_FALSE(view.signature()) << "began draws nothing";

  view.clock += 5;
  view.pan(Phase::changed, {10.5, 10.5});  // shorter than 1 point: ignored
  EXPECT_EQ(view.previousPoint(), QPointF(10, 10));
  EXPECT_EQ(view.previousWidth(), 0.0);

  view.clock += 5;
  view.pan(Phase::changed, {20, 10});  // first segment: E == P, nothing drawn, yet a bitmap
  ASSERT_TRUE(view.signature());
  EXPECT_EQ(inkAlpha(*view.signature(), {15, 10}), 0);
  EXPECT_DOUBLE_EQ(view.previousWidth(), 2.5);

  view.clock += 5;
  view.pan(Phase::changed, {40, 10});  // d = 20 from 2.5: 25/20 + 2.5/2
  EXPECT_DOUBLE_EQ(view.previousWidth(), 2.5);
  ASSERT_TRUE(view.signature());
  EXPECT_GT(inkAlpha(*view.signature(), {22, 10}), 200) << "ink between the midpoints";

  view.clock += 5;
  view.pan(Phase::ended, {40, 10});

  // A raw point and a pan notice for every event; the drawn segment's
  // midpoint between them.
  EXPECT_EQ(r.events, (std::vector<std::string>{"10,10@0", "pan", "10.5,10.5@5", "pan", "20,10@10", "pan", "40,10@15",
                                                "30,10@15", "pan", "40,10@20", "pan"}));
}

TEST(SignatureViewTest, WidthAndTimeOriginCarryAcrossStrokesAndClear) {
  ClockedView view(200);
  auto& r = view.r;
  view.pan(Phase::began, {0, 0});
  view.pan(Phase::changed, {10, 0});
  EXPECT_DOUBLE_EQ(view.previousWidth(), 2.5);
  view.pan(Phase::ended, {10, 0});
  view.clear();
  EXPECT_FALSE(view.signature());
  view.clock += 1000;
  view.pan(Phase::began, {50, 50});
  view.pan(Phase::changed, {50, 60});  // d = 10 from 2.5 (not from 0): 25/10 + 2.5/2
  EXPECT_DOUBLE_EQ(view.previousWidth(), 3.75);
  EXPECT_EQ(r.events.end()[-2], "50,60@1000") << "time still counts from the first touch";
}

TEST(SignatureViewTest, ATapIsOnePointAndADot) {
  ClockedView view(100);
  auto& r = view.r;
  QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(30, 40));
  std::sort(r.events.begin(), r.events.end());
  EXPECT_EQ(r.events, (std::vector<std::string>{"30,40@0", "tap"}));
  ASSERT_TRUE(view.signature());
  EXPECT_GT(inkAlpha(*view.signature(), {30, 40}), 200);
  EXPECT_EQ(inkAlpha(*view.signature(), {36, 40}), 0) << "a 5-point dot";
}

TEST(SignatureViewTest, MouseDragDrawsARibbonAndNoDelegateStillDraws) {
  SignatureView view;
  view.resize(300, 200);
  view.show();
  QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(20, 100));
  for (int x = 20; x <= 280; x += 20)
    QTest::mouseMove(&view, QPoint(x, 100 + static_cast<int>(30 * std::sin(x / 40.0))));
  QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(280, 100));
  ASSERT_TRUE(view.signature());
  int inked = 0;
  const QImage img = *view.signature();
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) inked += qAlpha(img.pixel(x, y)) > 0;
  EXPECT_GT(inked, 200);
  if (const char* keep = std::getenv("PENVORA_KEEP_PICTURES")) view.grab().save(QString(keep) + "/signature-view.png");
}

}  // namespace
