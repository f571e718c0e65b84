#include "qt/document/ViewerTouchNavigation.hpp"

#include <gtest/gtest.h>

#include <QPointingDevice>

#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora::qt::document;

namespace {

struct TouchViewer : testsupport::Viewer {
  std::unique_ptr<QPointingDevice> device{QTest::createTouchDevice()};  // unregistered when deleted
  QPointingDevice* finger = device.get();
  TouchViewer() : Viewer(pdftest::documentPdf(std::vector<pdftest::PageSpec>(6)), {600, 800}) {}
  // One finger from `from` to `to` in steps, then lifted after `pauseMs`.
  void drag(QPoint from, QPoint to, int pauseMs = 150) {
    QWidget* w = view.viewport();
    QTest::touchEvent(w, finger).press(0, from);
    for (int i = 1; i <= 8; ++i) QTest::touchEvent(w, finger).move(0, from + (to - from) * i / 8);
    QTest::qWait(pauseMs);
    QTest::touchEvent(w, finger).release(0, to);
  }
};

TEST(ViewerTouchNavigationTest, OneFingerScrollsUnlessItStartsOnTheBox) {
  TouchViewer v;
  v.drag({300, 600}, {300, 200});
  EXPECT_NEAR(v.view.scrollOffset().y(), 400, 2) << "the page follows the finger one to one";

  // A stroke that starts on the box is the screen's: it arrives as mouse
  // input (the screen moves the box with it) and the view stays.
  struct MouseCount : QObject {
    int moves = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      moves += e->type() == QEvent::MouseMove;
      return false;
    }
  } screen;
  v.view.viewport()->installEventFilter(&screen);
  v.view.setDraggableHitTest([](const QPointF& p) { return p.y() > 500; });
  const QPoint before = v.view.scrollOffset();
  v.drag({300, 600}, {300, 200});
  EXPECT_EQ(v.view.scrollOffset(), before);
  EXPECT_GE(screen.moves, 8);
}

TEST(ViewerTouchNavigationTest, PinchZoomsWithinTheRangeAndADoubleTapFitsTheWidth) {
  TouchViewer v;
  QWidget* w = v.view.viewport();
  QTest::touchEvent(w, v.finger).press(0, {250, 400}).press(1, {350, 400});
  for (int i = 1; i <= 10; ++i)
    QTest::touchEvent(w, v.finger).move(0, {250 - 20 * i, 400}).move(1, {350 + 20 * i, 400});
  QTest::touchEvent(w, v.finger).release(0, {50, 400}).release(1, {550, 400});
  EXPECT_EQ(v.view.scaleFactor(), v.view.maxScaleFactor) << "spreading the fingers five times stops at the maximum";
  EXPECT_FALSE(v.view.autoScales());

  for (int tap = 0; tap < 2; ++tap) {
    QTest::touchEvent(w, v.finger).press(0, {300, 300});
    QTest::touchEvent(w, v.finger).release(0, {300, 300});
  }
  EXPECT_TRUE(v.view.autoScales());
  EXPECT_NEAR(v.view.scaleFactor(), v.view.viewport()->width() / (612.0 + 2 * NonSelectablePDFView::kPageBreak), 1e-9);
}

TEST(ViewerTouchNavigationTest, AFlickKeepsScrollingAfterTheFingerLifts) {
  TouchViewer v;
  v.drag({300, 600}, {300, 500}, 0);
  const int lifted = v.view.scrollOffset().y();
  QTest::qWait(300);
  EXPECT_GT(v.view.scrollOffset().y(), lifted + 20);
}

}  // namespace
