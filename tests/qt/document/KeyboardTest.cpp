// The signing screen from the keyboard alone: Return and Escape on the
// screen and its panels, the manual box moved and resized with keys by
// the expected page-space amounts, Tab out of the reason field, and where
// the focus goes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora;
using qt::document::PenvoraSDKSignatureViewController;

namespace {

struct KeyRun : testsupport::Request {
  explicit KeyRun(PenvoraSDKWidgetType type = PenvoraSDKWidgetType::manual) {
    document(pdftest::contractPdf());
    params->widget->widgetType = type;
    params->certificate->handwrittenSignature = false;  // Sign places a box at once
    // An identity nobody stored: its dialog stops the run before the engine.
    params->certificate->requestUserCertificate = true;
    params->certificate->defaultAliasUserCertificate = "penvora-test-missing-keys";
    params->extra->showReject = true;
  }
  QWidget* focus() const { return QApplication::focusWidget(); }
  void key(int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(focus(), static_cast<Qt::Key>(k), m); }
};

}  // namespace

TEST(KeyboardTest, TheManualBoxMovesAndResizesWithKeysAndReturnAndEscapeWork) {
  KeyRun run;
  ASSERT_TRUE(run.shown());
  auto* c = run.c;
  EXPECT_EQ(run.focus(), c->pdfView());  // the document is what comes first
  c->signButton()->setFocus();
  run.key(Qt::Key_Return);  // Sign, from the keyboard
  ASSERT_GE(c->signaturePage(), 0);
  ASSERT_EQ(c->pdfView()->pageRotation(c->signaturePage()), 0);
  EXPECT_EQ(run.focus(), c->pdfView());
  auto box = [c] { return c->imageSignatureAnnotation->bounds; };
  const Rect start = box();

  // Page space has y upwards: Down lowers y. Shift takes larger steps.
  run.key(Qt::Key_Right);
  run.key(Qt::Key_Down);
  EXPECT_NEAR(box().x, start.x + 5, 0.01);
  EXPECT_NEAR(box().y, start.y - 5, 0.01);
  run.key(Qt::Key_Left, Qt::ShiftModifier);
  run.key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_NEAR(box().x, start.x - 20, 0.01);
  EXPECT_NEAR(box().y, start.y + 20, 0.01);
  EXPECT_EQ(box().width, start.width);
  // The icons and their focusable stand-ins follow the box.
  const Rect close{box().x - 20, box().y + box().height - 20, 40, 40};
  EXPECT_EQ(c->imageCloseAnnotation->bounds, close);
  EXPECT_EQ(c->closeControl()->geometry(),
            c->pdfView()->convertRectFromPage({close.x, close.y, 40, 40}, c->signaturePage()).toAlignedRect());

  // + and - resize from the handle, the top-left corner as shown staying.
  const Rect before = box();
  run.key(Qt::Key_Plus, Qt::ShiftModifier);  // as most layouts type it
  EXPECT_NEAR(box().height, before.height + 5, 0.01);
  EXPECT_NEAR(box().width / box().height, before.width / before.height, 0.001);
  EXPECT_NEAR(box().x, before.x, 0.01);
  EXPECT_NEAR(box().y + box().height, before.y + before.height, 0.01);
  for (int i = 0; i < 5; ++i) run.key(Qt::Key_Minus);
  EXPECT_NEAR(box().height, before.height - 20, 0.01);
  for (int i = 0; i < 5; ++i) run.key(Qt::Key_Minus);  // never below the minimum height
  EXPECT_NEAR(box().height, 50, 0.01);

  // Escape takes the box away and the focus goes back to Sign.
  run.key(Qt::Key_Escape);
  EXPECT_EQ(c->signaturePage(), -1);
  EXPECT_FALSE(c->closeControl()->isVisible());
  EXPECT_EQ(run.focus(), c->signButton());
  EXPECT_EQ(run.outcome.calls, 0);

  // Again; Tab reaches the icon stand-ins, Return on the accept one accepts.
  qobject_cast<QAbstractButton*>(c->signButton())->click();
  c->acceptControl()->setFocus();
  run.key(Qt::Key_Right);  // the keys work from the icons too
  EXPECT_NEAR(box().x, start.x + 5, 0.01);
  run.key(Qt::Key_Return);
  ASSERT_NE(c->defaultCertDialog(), nullptr);
  EXPECT_TRUE(c->defaultCertDialog()->isAncestorOf(run.focus()));
  EXPECT_EQ(c->essParams->page, c->signaturePage() + 1);
  // Escape closes the dialog; the focus comes back to where it was.
  run.key(Qt::Key_Escape);
  EXPECT_EQ(c->defaultCertDialog(), nullptr);
  EXPECT_EQ(run.focus(), c->acceptControl());

  // Escape with nothing placed and no panel: Back, with no callback.
  run.key(Qt::Key_Escape);
  run.key(Qt::Key_Escape);
  QPointer<PenvoraSDKSignatureViewController> alive(c);
  ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 3000));
  EXPECT_EQ(run.outcome.calls, 0);
}

TEST(KeyboardTest, RejectFromTheKeyboardTabLeavesTheReasonAndTooShortStaysToBeMended) {
  KeyRun run;
  ASSERT_TRUE(run.shown());
  auto* c = run.c;
  c->rejectButton()->setFocus();
  run.key(Qt::Key_Return);
  auto* dialog = c->rejectDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(run.focus(), dialog->rejectTextView());
  run.key(Qt::Key_Tab);  // leaves the field instead of typing into it
  EXPECT_TRUE(dialog->rejectTextView()->toPlainText().isEmpty());
  EXPECT_TRUE(dialog->isAncestorOf(run.focus()));
  EXPECT_NE(run.focus(), dialog->rejectTextView());

  dialog->rejectTextView()->setPlainText("\t\t ");
  dialog->positiveButton()->setFocus();
  run.key(Qt::Key_Return);
  EXPECT_FALSE(dialog->errorLabel()->isHidden());
  EXPECT_EQ(run.focus(), dialog->rejectTextView());  // back where it is mended
  EXPECT_EQ(dialog->rejectTextView()->accessibleDescription(), dialog->errorLabel()->text());
  run.key(Qt::Key_Escape);  // Cancel
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->rejectDialog() == nullptr; }, 2000));
  EXPECT_EQ(run.focus(), c->rejectButton());

  qobject_cast<QAbstractButton*>(c->rejectButton())->click();
  dialog = c->rejectDialog();
  ASSERT_NE(dialog, nullptr);
  QTest::keyClicks(dialog->rejectTextView(), "Wrong amount");
  run.key(Qt::Key_Return);  // no line break: on to Reject
  EXPECT_EQ(run.focus(), dialog->positiveButton());
  run.key(Qt::Key_Return);
  ASSERT_TRUE(run.outcome.wait());
  EXPECT_EQ(run.outcome.rejected, "Wrong amount");
}

TEST(KeyboardTest, TheCapturePanelTakesTheFocusAndEscapeClosesIt) {
  KeyRun run(PenvoraSDKWidgetType::float_);
  run.params->certificate->handwrittenSignature = true;
  run.params->widget->widgetFloatText = "Madrid";
  ASSERT_TRUE(run.shown());
  auto* c = run.c;
  c->signButton()->setFocus();
  run.key(Qt::Key_Space);
  auto* panel = c->captureView();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(run.focus(), &panel->canvasView());
  run.key(Qt::Key_Return);  // Accept is off until there is a signature
  EXPECT_NE(c->captureView(), nullptr);
  run.key(Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->captureView() == nullptr; }, 2000));
  EXPECT_EQ(run.focus(), c->signButton());
}
