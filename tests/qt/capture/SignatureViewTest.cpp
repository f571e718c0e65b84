#include "penvora/SignatureView.hpp"

#include <gtest/gtest.h>
#include <QTest>

#include <cmath>
#include <variant>

using penvora::SignatureView;
using penvora::SignatureViewDelegate;
using Phase = SignatureView::PanPhase;

namespace {

// Every notification in order: "tap", "pan", or a point with its time.
struct Recorder : SignatureViewDelegate {
  struct Point {
    QPointF at;
    std::int64_t time;
  };
  std::vector<std::variant<std::string, Point>> events;
  void swiftSignatureViewDidTapInside(SignatureView&) override { events.emplace_back("tap"); }
  void swiftSignatureViewDidPanInside(SignatureView&) override { events.emplace_back("pan"); }
  void signatureViewPointCapture(const QPointF& p, std::int64_t t) override { events.emplace_back(Point{p, t}); }
  std::vector<Point> points() const {
    std::vector<Point> out;
    for (const auto& e : events)
      if (auto* p = std::get_if<Point>(&e)) out.push_back(*p);
    return out;
  }
  std::size_t count(const std::string& name) const {
    std::size_t n = 0;
    for (const auto& e : events)
      if (auto* s = std::get_if<std::string>(&e); s && *s == name) ++n;
    return n;
  }
};

// A view on a clock the test turns.
class ClockedView : public SignatureView {
 public:
  using SignatureView::previousPoint;
  using SignatureView::previousWidth;
  using SignatureView::startTime;
  std::int64_t clock = 1'700'000'000'000;

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
  ClockedView view;
  view.resize(400, 300);
  Recorder r;
  view.setDelegate(&r);

  view.pan(Phase::began, {10, 10});
  EXPECT_EQ(view.startTime(), view.clock);
  EXPECT_FALSE(view.signature()) << "began draws nothing";

  view.clock += 5;
  view.pan(Phase::changed, {10.5, 10.5});  // shorter than 1 point: ignored
  EXPECT_EQ(view.previousPoint(), QPointF(10, 10));
  EXPECT_EQ(view.previousWidth(), 0.0);

  view.clock += 5;
  view.pan(Phase::changed, {20, 10});  // first segment: E == P, nothing drawn
  EXPECT_FALSE(view.signature());
  EXPECT_DOUBLE_EQ(view.previousWidth(), 2.5);

  view.clock += 5;
  view.pan(Phase::changed, {40, 10});  // d = 20 from 2.5: 25/20 + 2.5/2
  EXPECT_DOUBLE_EQ(view.previousWidth(), 2.5);
  ASSERT_TRUE(view.signature());
  EXPECT_GT(inkAlpha(*view.signature(), {22, 10}), 200) << "ink between the midpoints";

  view.clock += 5;
  view.pan(Phase::ended, {40, 10});

  // Raw point for every event, plus the midpoint after the drawn segment.
  const auto points = r.points();
  ASSERT_EQ(points.size(), 6u);
  EXPECT_EQ(points[0].at, QPointF(10, 10));
  EXPECT_EQ(points[0].time, 0);
  EXPECT_EQ(points[1].at, QPointF(10.5, 10.5));
  EXPECT_EQ(points[1].time, 5);
  EXPECT_EQ(points[2].at, QPointF(20, 10));
  EXPECT_EQ(points[3].at, QPointF(40, 10));
  EXPECT_EQ(points[4].at, QPointF(30, 10)) << "the segment's midpoint";
  EXPECT_EQ(points[4].time, 15);
  EXPECT_EQ(points[5].at, QPointF(40, 10));
  EXPECT_EQ(r.count("pan"), 5u);
  // The midpoint report comes after the raw one and before the pan notice.
  ASSERT_GE(r.events.size(), 9u);
  EXPECT_TRUE(std::holds_alternative<Recorder::Point>(r.events[7]));
  EXPECT_EQ(std::get<std::string>(r.events[8]), "pan");
}

TEST(SignatureViewTest, WidthAndTimeOriginCarryAcrossStrokesAndClear) {
  ClockedView view;
  view.resize(200, 200);
  Recorder r;
  view.setDelegate(&r);
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
  EXPECT_EQ(r.points().back().time, 1000) << "time still counts from the first touch";
}

TEST(SignatureViewTest, ATapIsOnePointAndADot) {
  ClockedView view;
  view.resize(100, 100);
  Recorder r;
  view.setDelegate(&r);
  QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(30, 40));
  ASSERT_EQ(r.points().size(), 1u);
  EXPECT_EQ(r.points()[0].at, QPointF(30, 40));
  EXPECT_EQ(r.count("tap"), 1u);
  EXPECT_EQ(r.count("pan"), 0u);
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
