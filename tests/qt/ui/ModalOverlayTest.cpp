// An overlay covers its host through resizes and keeps the keyboard and the
// mouse to itself while it is up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "qt/ui/ModalOverlay.hpp"

using namespace penvora::qt::ui;

namespace {

struct Screen {
  QWidget window;
  QWidget* host = new QWidget(&window);
  QPushButton* behind = new QPushButton("Reject", host);
  int pressedBehind = 0;

  Screen() {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(host);
    QObject::connect(behind, &QPushButton::clicked, [this] { ++pressedBehind; });
    window.resize(300, 400);
    window.show();
    window.activateWindow();
    behind->setFocus();
  }
};

bool inside(const QWidget* overlay) {
  const QWidget* f = QApplication::focusWidget();
  return f && (f == overlay || overlay->isAncestorOf(f));
}

}  // namespace

TEST(ModalOverlayTest, CoversTheHostThroughResizesAndADialogBecomesPartOfIt) {
  Screen s;
  auto* dialog = new QDialog(s.host);
  ModalOverlay::cover(dialog, s.host);
  dialog->show();
  EXPECT_FALSE(dialog->isWindow());
  EXPECT_EQ(dialog->geometry(), s.host->rect());
  s.window.resize(700, 500);  // turned to landscape
  QApplication::processEvents();
  EXPECT_EQ(s.host->size(), QSize(700, 500));
  EXPECT_EQ(dialog->geometry(), s.host->rect());
  EXPECT_EQ(ModalOverlay::topmostIn(&s.window), dialog);
}

TEST(ModalOverlayTest, TabStaysInsideAndNothingBehindTakesKeysOrClicks) {
  Screen s;
  ASSERT_TRUE(QTest::qWaitForWindowActive(&s.window));
  ASSERT_TRUE(s.behind->hasFocus());
  auto* overlay = new QWidget(s.host);
  new QPushButton("Erase", overlay);
  (new QPushButton("Accept", overlay))->move(0, 40);
  ModalOverlay::cover(overlay, s.host);
  overlay->show();
  EXPECT_TRUE(inside(overlay));

  for (int i = 0; i < 7; ++i) {
    QTest::keyClick(QApplication::focusWidget(), i % 3 ? Qt::Key_Tab : Qt::Key_Backtab);
    ASSERT_TRUE(inside(overlay)) << i;
  }
  s.behind->setFocus();  // by code: the focus comes back
  EXPECT_TRUE(inside(overlay));
  QTest::keyClick(s.behind, Qt::Key_Space);
  QTest::mouseClick(s.behind, Qt::LeftButton);
  EXPECT_EQ(s.pressedBehind, 0);

  delete overlay;  // gone: the focus and the keys are back where they were
  EXPECT_TRUE(s.behind->hasFocus());
  QTest::keyClick(s.behind, Qt::Key_Space);
  EXPECT_EQ(s.pressedBehind, 1);
  EXPECT_EQ(ModalOverlay::topmostIn(&s.window), nullptr);
}

TEST(ModalOverlayTest, OnlyTheTopmostOverlayTakesInputAndTheOneBelowGetsTheFocusBack) {
  Screen s;
  ASSERT_TRUE(QTest::qWaitForWindowActive(&s.window));
  auto* below = new QWidget(s.host);
  auto* belowButton = new QPushButton("Close", below);
  int belowPressed = 0;
  QObject::connect(belowButton, &QPushButton::clicked, [&] { ++belowPressed; });
  ModalOverlay::cover(below, s.host);
  below->show();
  auto* loading = new QWidget(s.host);  // a card with nothing to press
  ModalOverlay::cover(loading, s.host);
  loading->show();
  EXPECT_TRUE(inside(loading));
  QTest::keyClick(belowButton, Qt::Key_Space);
  EXPECT_EQ(belowPressed, 0);
  loading->hide();
  EXPECT_TRUE(belowButton->hasFocus());
  QTest::keyClick(belowButton, Qt::Key_Space);
  EXPECT_EQ(belowPressed, 1);
}
