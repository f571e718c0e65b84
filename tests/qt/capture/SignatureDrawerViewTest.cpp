#include "qt/capture/SignatureDrawerView.hpp"

#include <gtest/gtest.h>
#include <QGeoPositionInfoSource>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "core/capture/PlatformFacts.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/util/Base64.hpp"
#include "qt/capture/LocationManager.hpp"
#include "qt/capture/ProgressBar.hpp"
#include "qt/ui/FontRegistration.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora::core::capture;
using namespace penvora::qt::capture;

using testsupport::CapturedLog;

namespace {

// A position source the test controls.
class ScriptedSource : public QGeoPositionInfoSource {
 public:
  ScriptedSource() : QGeoPositionInfoSource(nullptr) {}
  int starts = 0, stops = 0;
  void emitFix(double lat, double lon, double alt, double accuracy) {
    QGeoPositionInfo info(QGeoCoordinate(lat, lon, alt), QDateTime::currentDateTimeUtc());
    info.setAttribute(QGeoPositionInfo::HorizontalAccuracy, accuracy);
    emit positionUpdated(info);
  }
  QGeoPositionInfo lastKnownPosition(bool) const override { return {}; }
  PositioningMethods supportedPositioningMethods() const override { return AllPositioningMethods; }
  int minimumUpdateInterval() const override { return 0; }
  Error error() const override { return NoError; }
  void startUpdates() override { ++starts; }
  void stopUpdates() override { ++stops; }
  void requestUpdate(int) override {}
};

std::string decode(const std::string& b64) {
  return penvora::core::util::toString(penvora::core::util::base64Decode(b64).value_or(penvora::core::util::Bytes{}));
}

// A panel on screen with a scripted position source.
struct Panel {
  QTemporaryDir dir;
  ScriptedSource* source = nullptr;
  struct {
    int count = 0;
    QImage image;
    std::string record;
  } accepted;
  std::unique_ptr<SignatureDrawerView> view;

  explicit Panel(DrawerModel model = {}, bool withSource = true) {
    penvora::qt::ui::registerFontsIfNeeded();
    model.url = model.url.empty() ? (dir.path() + "/doc.pdf").toStdString() : model.url;
    std::ofstream(model.url) << "%PDF-1.4 test";
    auto s = withSource ? std::make_unique<ScriptedSource>() : nullptr;
    source = s.get();
    view = std::make_unique<SignatureDrawerView>(
        model,
        [this](const QImage& i, const std::string& r) { ++accepted.count, accepted.image = i, accepted.record = r; },
        [] {}, std::make_unique<LocationManager>(std::move(s)));
    view->resize(800, 600);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }
  Canvas& canvas() { return view->canvasView(); }

  // One stroke of `points` points along a line, 1 ms apart.
  void stroke(int points, QPoint from = {20, 40}, QPoint step = {4, 1}) {
    QTest::mousePress(&canvas(), Qt::LeftButton, {}, from);
    QPoint p = from;
    for (int i = 1; i < points; ++i) QTest::mouseMove(&canvas(), p += step);
    QTest::mouseRelease(&canvas(), Qt::LeftButton, {}, p);
  }
};

std::vector<std::vector<std::string>> rows(const std::string& record) {
  std::vector<std::vector<std::string>> out;
  for (const auto& line : penvora::core::engine::ESSUtils::split(record, '\n'))
    out.push_back(penvora::core::engine::ESSUtils::split(line, ';'));
  return out;
}

TEST(SignatureDrawerViewTest, AcceptTurnsOnAtTwentyFivePointsTheBarFollowsTheCountAndEraseClears) {
  Panel panel;
  EXPECT_FALSE(panel.view->acceptButton().isEnabled());
  panel.stroke(22);
  EXPECT_EQ(panel.view->progressBarColor(), Canvas::levelColor(ProgressLevel::red));
  panel.stroke(2, {50, 200});
  EXPECT_EQ(panel.canvas().pointCount(), 24u);
  EXPECT_EQ(panel.view->progressBarColor(), Canvas::levelColor(ProgressLevel::orange));
  EXPECT_FALSE(panel.view->acceptButton().isEnabled());
  QTest::mouseClick(&panel.view->acceptButton(), Qt::LeftButton);
  EXPECT_EQ(panel.accepted.count, 0);

  panel.stroke(1, {300, 100});  // a tap is one point
  EXPECT_EQ(panel.canvas().pointCount(), 25u);
  EXPECT_TRUE(panel.view->acceptButton().isEnabled());
  panel.stroke(20, {40, 150});
  EXPECT_EQ(panel.view->progressBarColor(), Canvas::levelColor(ProgressLevel::green));
  EXPECT_NEAR(panel.view->progressBar().targetBarWidth(), 80.0 * 45 / 75, 1e-4);
  testsupport::keepPicture(*panel.view, "signature-drawer");

  // Erase empties the drawing and clears the bar.
  const auto started = panel.view->startedTime();
  QTest::mouseClick(&panel.view->eraseButton(), Qt::LeftButton);
  EXPECT_EQ(panel.canvas().pointCount(), 0u);
  EXPECT_EQ(panel.view->progressBarValue(), 0.0f);
  EXPECT_EQ(panel.view->progressBarColor(), QColor(Qt::transparent));
  EXPECT_FALSE(panel.view->acceptButton().isEnabled());
  panel.stroke(5);
  EXPECT_EQ(panel.view->progressBarColor(), Canvas::levelColor(ProgressLevel::red));
  EXPECT_EQ(panel.view->startedTime(), started);  // a redone drawing keeps its first start
}

TEST(SignatureDrawerViewTest, TheRecordHoldsEveryPointOnOneClockAndTheCanvasFrame) {
  Panel panel;
  panel.stroke(20, {10, 30}, {5, 2});
  QTest::qWait(20);
  panel.stroke(15, {200, 60}, {3, -1});
  QTest::mouseClick(&panel.view->acceptButton(), Qt::LeftButton);
  ASSERT_EQ(panel.accepted.count, 1);

  const auto r = rows(decode(panel.accepted.record));
  ASSERT_EQ(r.size(), 3u + 35u);
  ASSERT_EQ(r[1].size(), 14u);
  const QRect frame = panel.canvas().geometry();
  EXPECT_EQ(std::vector(r[1].begin() + 5, r[1].begin() + 9),
            (std::vector<std::string>{std::to_string(frame.left()), std::to_string(frame.left() + frame.width()),
                                      std::to_string(frame.top()), std::to_string(frame.top() + frame.height())}));
  EXPECT_EQ(r[1][13], "");  // no fix was asked for
  EXPECT_EQ(decode(r[1][12]).rfind(std::string("Penvora SDK ") + kPlatformName + "|", 0), 0u);
  EXPECT_NE(decode(r[1][12]).find("SHA-2-512 PDF: "), std::string::npos);

  // First stroke: the points as drawn, 1 ms apart from 0.
  EXPECT_EQ(r[3], (std::vector<std::string>{"10", "30", "1", "1", "0"}));
  EXPECT_EQ(r[4], (std::vector<std::string>{"15", "32", "1", "1", "1"}));
  EXPECT_EQ(r[23][0], "200");
  // Time never goes back, and the second stroke comes after the first.
  long previous = -1;
  for (std::size_t i = 3; i < r.size(); ++i) {
    const long t = std::stol(r[i][4]);
    EXPECT_GE(t, previous) << "row " << i;
    previous = t;
  }
  EXPECT_GT(std::stol(r[23][4]), std::stol(r[22][4]));

  // The picture: the canvas at its scale, transparent but for the ink.
  EXPECT_EQ(panel.accepted.image.size(), frame.size() * panel.canvas().devicePixelRatioF());
  EXPECT_EQ(qAlpha(panel.accepted.image.pixel(2, 2)), 0);
  EXPECT_EQ(qAlpha(panel.accepted.image.pixel(15, 32)), 255);
}

TEST(SignatureDrawerViewTest, InkColourFollowsTheSchemeOnlyForTheDefaultBlack) {
  EXPECT_EQ(Canvas::inkColor(true, "#000000"), QColor(Qt::white));
  EXPECT_EQ(Canvas::inkColor(false, "#000000"), QColor(Qt::black));
  EXPECT_EQ(Canvas::inkColor(true, "000000"), QColor(Qt::black));  // another text for black is kept
  EXPECT_EQ(Canvas::inkColor(true, "#FF0000"), QColor(Qt::red));

  DrawerModel model;
  model.signatureThickness = 10;
  model.signatureColorHex = "#0000FF";
  Panel panel(model);
  EXPECT_EQ(panel.canvas().pencilWidth(), 10.0);
  panel.stroke(30, {20, 100}, {8, 0});
  const QImage ink = panel.canvas().renderDrawing(1.0);
  int inked = 0;
  for (int y = 80; y < 120; ++y) inked += qAlpha(ink.pixel(100, y)) > 128;
  EXPECT_NEAR(inked, 10, 1);  // a 10-point pen across the stroke
  EXPECT_EQ(QColor(ink.pixel(100, 100)), QColor(Qt::blue));
  panel.canvas().resize(60, 60);  // a smaller panel keeps the whole signature
  EXPECT_EQ(panel.canvas().renderDrawing(1.0), ink);
  // Ink run past the canvas was never shown, and is not handed on.
  panel.stroke(30, {ink.width() - 20, 100}, {8, 0});
  EXPECT_EQ(panel.canvas().renderDrawing(1.0).size(), ink.size());
}

TEST(SignatureDrawerViewTest, SwappingPortraitAndLandscapeStartsOver) {
  Panel panel;
  panel.view->orientationChanged(DeviceOrientation::portrait);
  panel.stroke(10);
  panel.view->orientationChanged(DeviceOrientation::faceUp);
  panel.view->orientationChanged(DeviceOrientation::portrait);
  EXPECT_EQ(panel.canvas().pointCount(), 10u);
  panel.view->orientationChanged(DeviceOrientation::landscapeLeft);
  EXPECT_EQ(panel.canvas().pointCount(), 0u);
  EXPECT_TRUE(panel.view->isLandscape());
  panel.stroke(10);
  panel.view->orientationChanged(DeviceOrientation::landscapeRight);
  EXPECT_EQ(panel.canvas().pointCount(), 10u);
}

TEST(SignatureDrawerViewTest, ARequestedLocationGoesIntoTheRecord) {
  DrawerModel model;
  model.requestUserLocation = true;
  CapturedLog log;
  Panel panel(model);
  EXPECT_TRUE(log.contains("locationManager(_:didChangeAuthorization:) authorizedWhenInUse"));
  EXPECT_EQ(panel.source->starts, 1);
  panel.source->emitFix(40.4168, -3.7038, 650.0, 5.0);
  EXPECT_EQ(panel.source->stops, 1);  // one fix per start
  panel.source->emitFix(0, 0, 0, 0);  // after the stop: ignored
  panel.stroke(30);
  QTest::mouseClick(&panel.view->acceptButton(), Qt::LeftButton);
  const std::string extra = decode(rows(decode(panel.accepted.record))[1][13]);
  EXPECT_EQ(extra.rfind("<GPS>-3.7038;40.4168;650.0;5.0;", 0), 0u) << extra;  // longitude first
  EXPECT_EQ(extra.substr(extra.size() - 6), "</GPS>");
}

TEST(LocationManagerTest, CallbacksKeepTheLastFixAndLogTheStatus) {
  CapturedLog log;
  auto source = std::make_unique<ScriptedSource>();
  ScriptedSource* s = source.get();
  LocationManager manager(std::move(source));
  EXPECT_EQ(manager.statusString(), "unknown");
  manager.didChangeAuthorization(LocationAuthorization::restricted);
  EXPECT_TRUE(log.contains("locationManager(_:didChangeAuthorization:) restricted"));

  manager.didUpdateLocations({});
  EXPECT_FALSE(manager.lastLocation());
  manager.startUpdatingLocation();
  const QDateTime t = QDateTime::currentDateTimeUtc();
  manager.didUpdateLocations({QGeoPositionInfo(QGeoCoordinate(1, 2), t), QGeoPositionInfo(QGeoCoordinate(3, 4), t),
                              QGeoPositionInfo(QGeoCoordinate(5, 6, 7), t)});
  ASSERT_TRUE(manager.lastFix());
  const auto fix = *manager.lastFix();
  EXPECT_EQ(std::tuple(fix.latitude, fix.longitude, fix.altitude, fix.horizontalAccuracy),
            std::tuple(5.0, 6.0, 7.0, -1.0));  // accuracy unknown
  EXPECT_EQ(s->stops, 1);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_EQ(log.lines.back().rfind("locationManager(_:didUpdateLocations:) <+5.00000000,+6.00000000>", 0), 0u)
      << log.lines.back();
}

TEST(LocationManagerTest, WithoutAPositionSourceThereIsNoFix) {
  CapturedLog log;
  DrawerModel model;
  model.requestUserLocation = true;
  Panel panel(model, /*withSource=*/false);
  EXPECT_TRUE(log.contains("locationManager(_:didChangeAuthorization:) denied"));
  panel.stroke(30);
  QTest::mouseClick(&panel.view->acceptButton(), Qt::LeftButton);
  EXPECT_EQ(rows(decode(panel.accepted.record))[1][13], "");

  // The system's own source, whatever this machine has, must not stand in the way.
  LocationManager system;
  system.requestWhenInUseAuthorization();
  system.startUpdatingLocation();
  EXPECT_FALSE(system.lastFix());
}

}  // namespace
