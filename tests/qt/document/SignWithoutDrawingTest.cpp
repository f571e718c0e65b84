// A signer who cannot draw confirms from the capture panel with the keyboard.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "penvora/SignatureVerifier.hpp"
#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/ui/CustomTextPrompt.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora;

TEST(SignWithoutDrawingTest, TheKeyboardConfirmsAndTheSignatureSaysWhyItHasNoHandwriting) {
  testsupport::Request run;
  run.document(pdftest::contractPdf());
  run.params->commonProperties->allowConfirmWithoutDrawing = true;
  run.params->certificate->encKeyB64 = pdftest::bioCertB64();
  run.params->commonProperties->saveOnPrivateStorage = true;
  run.params->fileProperties->signedName = "without-drawing.pdf";
  run.params->widget->requestWidgetCustomText = true;
  auto* c = run.shown();
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->document(), nullptr);
  QTest::mouseClick(c->signButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->captureView() != nullptr; }, 3000));
  QPushButton* confirm = c->captureView()->withoutDrawingButton();
  ASSERT_NE(confirm, nullptr);
  confirm->setFocus();
  QTest::keyClick(confirm, Qt::Key_Space);

  // The box comes as without a handwritten signature: placed by hand, no record.
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->imageSignatureAnnotation != nullptr; }, 3000));
  EXPECT_EQ(c->captureView(), nullptr);
  EXPECT_FALSE(run.params->certificate->handwrittenSignature);
  EXPECT_TRUE(c->essParams->pointsB64.empty());
  EXPECT_EQ(run.params->widget->widgetCustomText.back().text, "Confirmed without a handwritten signature");
  QTest::mouseClick(c->acceptButton(), Qt::LeftButton);
  // The signer's own text replaces the host's, and the reason stays beneath.
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->customTextPrompt() && c->customTextPrompt()->isVisible(); }, 3000));
  QTest::keyClicks(c->customTextPrompt()->textField(), "Ana");
  QTest::mouseClick(c->customTextPrompt()->acceptButton(), Qt::LeftButton);
  ASSERT_TRUE(run.outcome.wait(20000));
  ASSERT_EQ(run.params->widget->widgetCustomText.size(), 2u);
  EXPECT_EQ(run.params->widget->widgetCustomText.front().text, "Ana");
  EXPECT_EQ(run.params->widget->widgetCustomText.back().text, "Confirmed without a handwritten signature");
  ASSERT_EQ(run.outcome.signedFiles.size(), 1u);
  const auto report = verifySignatures(run.outcome.signedFiles.front());
  ASSERT_EQ(report.signatures.size(), 1u);
  EXPECT_TRUE(report.signatures[0].intact);
  EXPECT_FALSE(report.signatures[0].hasBiometricSummary || report.signatures[0].hasBiometricData);
  std::filesystem::remove(run.outcome.signedFiles.front());
}

TEST(SignWithoutDrawingTest, OffUnlessTheHostAllowsIt) {
  testsupport::Request run;
  run.document(pdftest::contractPdf());
  auto* c = run.shown();
  ASSERT_NE(c, nullptr);
  QTest::mouseClick(c->signButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->captureView() != nullptr; }, 3000));
  EXPECT_EQ(c->captureView()->withoutDrawingButton(), nullptr);
}
