#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "qt/ui/InsertPasswordPDFView.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora::qt::ui;

namespace {

using testsupport::keepPicture;

// A reject dialog on screen, its host noting the reasons.
struct Rejections : RejectAlertProtocol {
  std::vector<std::string> reasons;
  RejectAlertViewController dialog;
  void reject(const std::string& reason) override { reasons.push_back(reason); }
  Rejections() {
    setLanguage("en");
    dialog.delegate = this;
    dialog.show();
    (void)QTest::qWaitForWindowExposed(&dialog);
  }
};

TEST(RejectAlertTest, ReasonsShorterThanFourCharactersStayInTheDialog) {
  Rejections host;
  auto& dialog = host.dialog;
  EXPECT_TRUE(dialog.errorLabel()->isHidden());

  QTest::keyClicks(dialog.rejectTextView(), "abc");
  QTest::mouseClick(dialog.positiveButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.errorLabel()->isHidden());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(host.reasons.empty());
  keepPicture(dialog, "reject-dialog-error");

  // Three thumbs with skin tones are three characters, not twelve code units.
  dialog.rejectTextView()->setPlainText(
      QString::fromUtf8("\U0001F44D\U0001F3FD\U0001F44D\U0001F3FD\U0001F44D\U0001F3FD"));
  EXPECT_EQ(RejectAlertViewController::perceivedLength(dialog.rejectTextView()->toPlainText()), 3);
  QTest::mouseClick(dialog.positiveButton(), Qt::LeftButton);
  EXPECT_TRUE(host.reasons.empty());

  dialog.rejectTextView()->setPlainText("   ");
  QTest::mouseClick(dialog.positiveButton(), Qt::LeftButton);
  EXPECT_TRUE(host.reasons.empty());
  dialog.rejectTextView()->setPlainText("    ");  // spaces count: four are a reason
  QTest::mouseClick(dialog.positiveButton(), Qt::LeftButton);
  ASSERT_EQ(host.reasons, std::vector<std::string>{"    "});
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(dialog.errorLabel()->isHidden());
}

TEST(RejectAlertTest, ReturnClosesTheKeyboardPastedBreaksStayAndCancelRejectsNothing) {
  Rejections host;
  auto& dialog = host.dialog;
  dialog.activateWindow();
  dialog.rejectTextView()->setFocus();
  QTest::keyClicks(dialog.rejectTextView(), "no way");
  QTest::keyClick(dialog.rejectTextView(), Qt::Key_Return);
  EXPECT_EQ(dialog.rejectTextView()->toPlainText(), "no way");
  EXPECT_FALSE(dialog.rejectTextView()->hasFocus());
  EXPECT_TRUE(dialog.isVisible());  // return is not a confirmation

  dialog.rejectTextView()->insertPlainText("\nline two");  // as a paste does
  EXPECT_EQ(dialog.rejectTextView()->toPlainText(), "no way\nline two");

  QTest::mouseClick(dialog.negativeButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(host.reasons.empty());
}

TEST(PasswordPanelTest, ButtonsDecideAndReturnDoesNothing) {
  setLanguage("en");
  std::vector<std::string> accepted;
  int dismissed = 0;
  // Over the screen, as it is shown: there Return and Escape go through the
  // overlay's keys.
  QWidget screen;
  screen.resize(480, 600);
  auto* shown =
      new InsertPasswordPDFView([&](const std::string& p) { accepted.push_back(p); }, [&] { ++dismissed; }, &screen);
  InsertPasswordPDFView& panel = *shown;
  ModalOverlay::cover(shown, &screen);
  screen.show();
  shown->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
  EXPECT_EQ(panel.passwordField()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(panel.passwordField()->placeholderText(), localizedString("password"));

  QTest::mouseClick(panel.acceptButton(), Qt::LeftButton);  // empty is a password too
  panel.passwordField()->setFocus();
  QTest::keyClicks(panel.passwordField(), "s3cret");
  QTest::keyClick(panel.passwordField(), Qt::Key_Return);
  EXPECT_EQ(accepted, std::vector<std::string>{""});
  QTest::mouseClick(panel.acceptButton(), Qt::LeftButton);
  EXPECT_EQ(accepted, (std::vector<std::string>{"", "s3cret"}));
  keepPicture(panel, "password-panel");

  panel.acceptButton()->setFocus();  // on the button itself, Return presses it
  QTest::keyClick(panel.acceptButton(), Qt::Key_Return);
  EXPECT_EQ(accepted.size(), 3u);
  QTest::mouseClick(panel.cancelButton(), Qt::LeftButton);
  QTest::mouseClick(panel.closeButton(), Qt::LeftButton);
  EXPECT_EQ(dismissed, 2);
}

TEST(DefaultIdentityDialogTest, TheMessageOpensTheLinkAndButtonsAnswer) {
  setLanguage("en");
  std::vector<QUrl> opened;
  int closed = 0, accepted = 0;
  const QUrl url("https://example.org/qualified");
  UseDefaultCertDialog dialog([&] { ++closed; }, [&] { ++accepted; }, url, [&](const QUrl& u) { opened.push_back(u); });
  dialog.resize(420, 420);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_TRUE(dialog.messageLabel()->text().contains(localizedString("know_more").toHtmlEscaped()));
  QTest::mouseClick(dialog.messageLabel(), Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<QUrl>{url});
  QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
  QTest::mouseClick(dialog.acceptButton(), Qt::LeftButton);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(accepted, 1);
  keepPicture(dialog, "default-identity-dialog");
}

}  // namespace
