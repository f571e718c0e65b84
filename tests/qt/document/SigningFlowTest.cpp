// The whole request through the real widgets and the real engine: capture,
// placement (by rule and by hand), identity, custom text, signing and every
// way a request ends.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "core/document/PageGeometry.hpp"
#include "core/engine/ESS.hpp"
#include "core/util/Base64.hpp"
#include "penvora/ErrorTexts.hpp"
#include "penvora/PenvoraSdkCertManager.hpp"
#include "qt/capture/Canvas.hpp"
#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/document/NonSelectablePDFView.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/ui/CustomTextPrompt.hpp"
#include "qt/ui/InfoAlertViewController.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/QtKeychainStore.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"
#include "support/TestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;
using namespace penvora::qt::capture;
using namespace penvora::qt::document;
using qt::document::PenvoraSDKSignatureViewController;
using testsupport::Outcome;
using testsupport::TempDir;
using testsupport::writeText;
namespace fs = std::filesystem;

namespace {

// Three pages: upright, turned a quarter, upright; signature fields on the
// first and last page; a line of text on each.
std::string threePages() {
  return pdftest::documentPdf(
      {{0, "[0 0 612 792]", "Contract"}, {90, "[0 0 612 792]", "Signed at Madrid"}, {0, "[0 0 612 792]", "The end"}},
      /*signatureFields=*/true);
}

struct SigningRun : testsupport::Request {
  explicit SigningRun(PenvoraSDKWidgetType type, const std::string& pdf = threePages()) {
    params->fileProperties->documentPath = file("in.pdf", pdf);
    params->commonProperties->saveOnPrivateStorage = true;
    params->fileProperties->signedName = "signed-" + newUuidString() + ".pdf";
    params->widget->widgetType = type;
  }
  ~SigningRun() {
    for (const auto& f : outcome.signedFiles) fs::remove(f);
    if (outcome.imageFile) fs::remove(*outcome.imageFile);
  }
  bool show() { return shown() && c->document(); }
  // Draws a signature in the capture panel and accepts it.
  bool drawAndAccept() {
    if (!QTest::qWaitFor([this] { return c->captureView() != nullptr; }, 3000)) return false;
    SignatureDrawerView* view = c->captureView();
    if (!QTest::qWaitForWindowExposed(view->window())) return false;
    Canvas& canvas = view->canvasView();
    for (int s = 0; s < 3; ++s) {
      QPoint p(20, 30 + 20 * s);
      QTest::mousePress(&canvas, Qt::LeftButton, {}, p);
      for (int i = 0; i < 20; ++i) QTest::mouseMove(&canvas, p += QPoint(6, (i % 3) - 1));
      QTest::mouseRelease(&canvas, Qt::LeftButton, {}, p);
    }
    if (!view->acceptButton().isEnabled()) return false;
    testsupport::keepPicture(*c->window(), "capture");
    QTest::mouseClick(&view->acceptButton(), Qt::LeftButton);
    return true;
  }
  void clickSign() { QTest::mouseClick(qobject_cast<QAbstractButton*>(c->signButton()), Qt::LeftButton); }
  // The view point of a page-space point.
  QPoint onPage(double x, double y, int page) const { return c->pdfView()->convertFromPage({x, y}, page).toPoint(); }
  QPoint centreOf(const Rect& r, int page) const { return onPage(r.x + r.width / 2, r.y + r.height / 2, page); }
  void drag(QPoint from, QPoint to, int steps = 12) {
    QWidget* vp = c->pdfView()->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    for (int i = 1; i <= steps; ++i) QTest::mouseMove(vp, from + (to - from) * i / steps);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
  }
  void tap(QPoint at) { QTest::mouseClick(c->pdfView()->viewport(), Qt::LeftButton, {}, at); }
  bool verified() const {
    if (outcome.signedFiles.size() != 1) return false;
    return pdftest::pdfsigValidations(outcome.signedFiles.front()) == std::vector<std::string>{"Signature is Valid."};
  }
};

}  // namespace

TEST(SigningFlowTest, EachRuleTypeSignsAfterCaptureAndTheOutputVerifies) {
  struct Case {
    PenvoraSDKWidgetType type;
    std::function<void(PenvoraSDKParams&)> setUp;
  };
  const std::vector<Case> cases = {
      {PenvoraSDKWidgetType::fixed, [](PenvoraSDKParams&) {}},
      {PenvoraSDKWidgetType::field, [](PenvoraSDKParams& p) { p.widget->widgetFieldFieldname = "group.Sig2"; }},
      {PenvoraSDKWidgetType::float_, [](PenvoraSDKParams& p) { p.widget->widgetFloatText = "Madrid"; }},
  };
  for (const auto& k : cases) {
    SigningRun run(k.type);
    k.setUp(*run.params);
    ASSERT_TRUE(run.show());
    run.clickSign();
    ASSERT_TRUE(run.drawAndAccept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->infoAlert() != nullptr; }, 3000));
    ASSERT_TRUE(run.outcome.wait(20000));
    EXPECT_EQ(run.outcome.calls, 1);
    EXPECT_EQ(run.outcome.error, std::nullopt);
    EXPECT_TRUE(run.outcome.windowsGoneWhenCalled);
    EXPECT_FALSE(run.outcome.imageFile);
    EXPECT_TRUE(run.verified()) << static_cast<int>(k.type);
  }
}

TEST(SigningFlowTest, MetadataModeHandsBackThePictureAndTheRecordInsteadOfAFile) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->extra->signatureMetadataMode = true;
  run.params->certificate->encKeyB64 =
      core::util::base64Encode(testsupport::readText(testsupport::fixture("pki/test-bio-encryption.pem")));
  ASSERT_TRUE(run.show());
  run.clickSign();
  ASSERT_TRUE(run.drawAndAccept());
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_EQ(run.outcome.error, std::nullopt);
  EXPECT_TRUE(run.outcome.signedFiles.empty());
  ASSERT_TRUE(run.outcome.imageFile);
  EXPECT_TRUE(fs::exists(*run.outcome.imageFile));
  EXPECT_EQ(fs::path(*run.outcome.imageFile).extension(), ".jpg");
  EXPECT_TRUE(run.outcome.header && !run.outcome.header->empty());
  EXPECT_TRUE(run.outcome.record && !run.outcome.record->empty());
}

TEST(SigningFlowTest, AnEngineThatYieldsNothingEndsWithErrorSigning) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  ASSERT_TRUE(run.show());
  run.params->certificate->signCertP12B64 = core::util::base64Encode(std::string("not a PKCS#12 container"));
  run.clickSign();
  ASSERT_TRUE(run.drawAndAccept());
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_EQ(run.outcome.calls, 1);
  EXPECT_EQ(run.outcome.error, std::string(errortext::ErrorSigning));
  EXPECT_TRUE(run.outcome.windowsGoneWhenCalled);
}

TEST(SigningFlowTest, ManualBoxIsDraggedResizedAndAcceptedOnATurnedPage) {
  SigningRun run(PenvoraSDKWidgetType::manual);
  run.params->certificate->requestUserCertificate = true;  // an alias nobody stored: the dialog stops the run
  run.params->certificate->defaultAliasUserCertificate = "penvora-test-missing-" + newUuidString();
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  c->pdfView()->goToPage(1);  // the turned page
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->pdfView()->currentPage() == 1; }, 2000));
  run.clickSign();
  ASSERT_TRUE(run.drawAndAccept());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->imageSignatureAnnotation != nullptr; }, 3000));
  EXPECT_EQ(c->signaturePage(), 1);
  EXPECT_TRUE(c->confirmButtons()->isVisible());
  EXPECT_FALSE(c->essParams->pointsB64.empty());
  auto sig = c->imageSignatureAnnotation;
  const Rect start = sig->bounds;
  EXPECT_EQ(start.width, 75);  // upright in page space on a quarter-turned page
  EXPECT_EQ(start.height, 75 * run.params->widget->widgetManualRatio);
  EXPECT_EQ(c->imageCloseAnnotation->bounds, (Rect{start.x - 20, start.y - 20, 40, 40}));
  testsupport::keepPicture(*c->window(), "manual-box-turned-page");

  // Drag the box: it follows the finger and its icons follow it.
  const QPoint from = run.centreOf(start, 1);
  run.drag(from, from + QPoint(-60, 40));
  const Rect moved = sig->bounds;
  EXPECT_NE(moved.x, start.x);
  EXPECT_EQ(moved.width, start.width);
  EXPECT_EQ(c->imageCloseAnnotation->bounds, (Rect{moved.x - 20, moved.y - 20, 40, 40}));

  // Resize from the expand icon: steps on a turned page, ratio kept.
  const Rect e = c->imageExpandAnnotation->bounds;
  run.drag(run.centreOf(e, 1), run.centreOf(e, 1) + QPoint(40, 0), 6);
  EXPECT_GT(sig->bounds.width, moved.width);
  EXPECT_NEAR(sig->bounds.height / sig->bounds.width, (moved.height + 0) / moved.width, 0.2);

  // Onto a page with another rotation: refused with a message.
  const Rect before = sig->bounds;
  const QPoint centre = run.centreOf(before, 1);
  QWidget* vp = c->pdfView()->viewport();
  QTest::mousePress(vp, Qt::LeftButton, {}, centre);
  QTest::mouseMove(vp, centre + QPoint(0, 10));
  c->pdfView()->goToPage(0);
  const QPoint onFirst = run.onPage(300, 400, 0);
  QTest::mouseMove(vp, onFirst);
  QTest::mouseRelease(vp, Qt::LeftButton, {}, onFirst);
  EXPECT_EQ(c->signaturePage(), 1);
  ASSERT_NE(c->toast(), nullptr);
  EXPECT_EQ(c->toast()->text(), QString::fromUtf8("No es posible mover la firma entre estas páginas"));

  // Accept from the icon: the engine gets the box where it was drawn
  // (page space, not turned), its corners on whole points.
  c->pdfView()->goToRect(QRectF(sig->bounds.x, sig->bounds.y, sig->bounds.width, sig->bounds.height), 1);
  run.tap(run.centreOf(c->imageAcceptAnnotation->bounds, 1));
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->defaultCertDialog() != nullptr; }, 2000));
  EXPECT_EQ(c->essParams->page, 2);
  const Rect& b = c->essParams->bounds;
  EXPECT_NEAR(b.x, sig->bounds.x, 0.5);
  EXPECT_NEAR(b.y, sig->bounds.y, 0.5);
  EXPECT_NEAR(b.x + b.width, sig->bounds.x + sig->bounds.width, 0.5);
  EXPECT_NEAR(b.y + b.height, sig->bounds.y + sig->bounds.height, 0.5);
  EXPECT_FALSE(c->essParams->jpgB64.empty());

  // Cancel the dialog: nothing is reported, the box stays.
  QTest::mouseClick(c->defaultCertDialog()->cancelButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->defaultCertDialog() == nullptr; }, 2000));
  EXPECT_EQ(c->signaturePage(), 1);
  EXPECT_EQ(run.outcome.calls, 0);

  // Again, and this time go on with the default identity.
  QTest::mouseClick(qobject_cast<QAbstractButton*>(c->acceptButton()), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->defaultCertDialog() != nullptr; }, 2000));
  QTest::mouseClick(c->defaultCertDialog()->acceptButton(), Qt::LeftButton);
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_EQ(run.outcome.error, std::nullopt);
  EXPECT_TRUE(run.verified());
}

TEST(SigningFlowTest, WithoutAHandwrittenSignatureEvenFixedModePlacesAMovableBox) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->certificate->handwrittenSignature = false;
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  run.clickSign();
  EXPECT_EQ(c->captureView(), nullptr);
  ASSERT_NE(c->imageSignatureAnnotation, nullptr);
  EXPECT_TRUE(c->confirmButtons()->isVisible());
  EXPECT_TRUE(c->essParams->pointsB64.empty());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->signButtonOpacity() == 0.0; }, 2000));
  testsupport::keepPicture(*c->window(), "placeholder-box");
  QTest::mouseClick(qobject_cast<QAbstractButton*>(c->acceptButton()), Qt::LeftButton);
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_EQ(run.outcome.error, std::nullopt);
  EXPECT_TRUE(run.verified());
}

TEST(SigningFlowTest, ACustomTextTypedAfterPlacementReplacesTheHostsList) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->widget->requestWidgetCustomText = true;
  run.params->widget->widgetCustomText = {PenvoraSDKWidgetCustomText(20, "from the host"),
                                          PenvoraSDKWidgetCustomText(9, "second")};
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  EXPECT_EQ(c->customTextPrompt(), nullptr);  // not before the capture
  run.clickSign();
  ASSERT_TRUE(run.drawAndAccept());
  ASSERT_TRUE(
      QTest::qWaitFor([c] { return c->customTextPrompt() != nullptr && c->customTextPrompt()->isVisible(); }, 3000));
  const auto* prompt = c->customTextPrompt();
  EXPECT_FALSE(prompt->isWindow());  // a card over the screen, not a window of its own
  EXPECT_EQ(prompt->textField()->placeholderText(), qt::ui::localizedString("EnterSignatureText"));
  QTest::keyClicks(prompt->textField(), "Signed in Madrid");
  QTest::keyClick(prompt->textField(), Qt::Key_Return);  // as a keyboard user ends it
  ASSERT_TRUE(run.outcome.wait(20000));
  ASSERT_EQ(run.params->widget->widgetCustomText.size(), 1u);
  EXPECT_EQ(run.params->widget->widgetCustomText[0].text, "Signed in Madrid");
  EXPECT_EQ(run.params->widget->widgetCustomText[0].fontSize, 11);
  EXPECT_TRUE(run.verified());
}

TEST(SigningFlowTest, RejectHandsTheReasonToTheHostAfterTheScreenIsGone) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->extra->showReject = true;
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  ASSERT_TRUE(c->rejectButton()->isVisible());
  QTest::mouseClick(qobject_cast<QAbstractButton*>(c->rejectButton()), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->rejectDialog() != nullptr && c->rejectDialog()->isVisible(); }, 2000));
  QTest::keyClicks(c->rejectDialog()->rejectTextView(), "Wrong amount");
  QTest::mouseClick(c->rejectDialog()->positiveButton(), Qt::LeftButton);
  ASSERT_TRUE(run.outcome.wait());
  EXPECT_EQ(run.outcome.rejected, "Wrong amount");
  EXPECT_EQ(run.outcome.calls, 1);
  EXPECT_TRUE(run.outcome.windowsGoneWhenCalled);
}

TEST(SigningFlowTest, OpeningByItselfShareAndTheHiddenRejectButton) {
  {
    SigningRun run(PenvoraSDKWidgetType::fixed);
    run.params->extra->autoOpen = true;
    ASSERT_TRUE(run.show());
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() != nullptr; }, 2000));
    EXPECT_FALSE(run.c->rejectButton()->isVisible());
    QString shared;
    run.c->shareAction = [&](const QString& path) { shared = path; };
    QTest::mouseClick(&run.c->captureView()->closeButton(), Qt::LeftButton);
    QTest::mouseClick(qobject_cast<QAbstractButton*>(run.c->shareButton()), Qt::LeftButton);
    EXPECT_EQ(shared, QString::fromStdString(run.params->fileProperties->documentPath));
  }
  {
    SigningRun run(PenvoraSDKWidgetType::fixed);
    run.params->extra->autoOpen = true;
    run.params->extra->viewLastPage = true;
    run.params->fileProperties->documentPath.clear();
    writeText(run.dir / "b.pdf", pdftest::plainPdf(1));
    run.params->fileProperties->documentUris = {(run.dir / "in.pdf").string(), (run.dir / "b.pdf").string()};
    ASSERT_TRUE(run.show());
    QTest::qWait(100);
    EXPECT_EQ(run.c->captureView(), nullptr);
    EXPECT_FALSE(run.c->shareButton()->isEnabled());  // several documents are not shared
    QFile::remove(run.c->documentPath());
  }
}

TEST(SigningFlowTest, AStoredIdentityFromTheKeychainSignsWithoutAsking) {
  qt::ui::QtKeychainStore::installIfNeeded();
  auto store = PenvoraSdkCertManager::store();
  const std::string alias = "penvora-test-flow-" + newUuidString();
  TempDir keys;
  auto made = testsupport::run("cd " + keys.path().string() +
                               " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"
                               " -subj /CN=Stored\\ Signer -keyout k.pem -out c.pem -days 2 2>/dev/null"
                               " && openssl pkcs12 -export -inkey k.pem -in c.pem -passout pass:pw -out s.p12"
                               " && base64 -w0 s.p12");
  ASSERT_EQ(made.exitCode, 0);
  const Bytes p12 = *core::util::base64Decode(made.output);
  if (!PenvoraSdkCertManager::saveCertOnKeychain(p12, "pw", alias)) {
    if (std::getenv("PENVORA_IN_TEST_SESSION")) FAIL() << "Secret Service not usable";
    GTEST_SKIP() << "no Secret Service (run through make test)";
  }
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->certificate->requestUserCertificate = true;
  run.params->certificate->defaultAliasUserCertificate = alias;
  ASSERT_TRUE(run.show());
  run.clickSign();
  ASSERT_TRUE(run.drawAndAccept());
  // The default-identity dialog would hold the run; it signs on its own.
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_EQ(run.params->certificate->signCertP12B64, core::util::base64Encode(p12));
  EXPECT_EQ(run.params->certificate->signCertPassword, "pw");
  ASSERT_EQ(run.outcome.signedFiles.size(), 1u);
  EXPECT_NE(testsupport::run("pdfsig '" + run.outcome.signedFiles[0] + "'").output.find("Stored Signer"),
            std::string::npos);
  store->remove(alias + ".p12", alias);
  store->remove(alias + ".p12.password", alias);
}

TEST(SigningFlowTest, CancelledStepsGoBackToTheDocumentWithoutAReport) {
  // Closing the capture panel.
  {
    SigningRun run(PenvoraSDKWidgetType::fixed);
    ASSERT_TRUE(run.show());
    run.clickSign();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() != nullptr; }, 2000));
    QTest::mouseClick(&run.c->captureView()->closeButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() == nullptr; }, 2000));
    EXPECT_EQ(run.c->essParams->page, -1);
    run.clickSign();  // and the user may sign again
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() != nullptr; }, 2000));
    EXPECT_EQ(run.outcome.calls, 0);
  }
  // A float text the check finds (ignoring case) but placement does not
  // (literally): nothing happens after the capture.
  {
    SigningRun run(PenvoraSDKWidgetType::float_);
    run.params->widget->widgetFloatText = "MADRID";
    ASSERT_TRUE(run.show());
    run.clickSign();
    ASSERT_TRUE(run.drawAndAccept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() == nullptr; }, 2000));
    QTest::qWait(700);  // past the notice's delay, had signing started
    EXPECT_EQ(run.c->infoAlert(), nullptr);
    EXPECT_EQ(run.c->essParams->page, -1);
    EXPECT_EQ(run.outcome.calls, 0);
  }
  // Cancelling the custom text prompt.
  {
    SigningRun run(PenvoraSDKWidgetType::fixed);
    run.params->widget->requestWidgetCustomText = true;
    ASSERT_TRUE(run.show());
    run.clickSign();
    ASSERT_TRUE(run.drawAndAccept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->customTextPrompt() != nullptr; }, 3000));
    QTest::mouseClick(run.c->customTextPrompt()->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->customTextPrompt() == nullptr; }, 2000));
    QTest::qWait(700);
    EXPECT_EQ(run.c->infoAlert(), nullptr);
    EXPECT_TRUE(run.params->widget->widgetCustomText.empty());
    EXPECT_EQ(run.outcome.calls, 0);
  }
}

TEST(SigningFlowTest, AManualBoxIsSignedWhereTheViewerShowedItOnTurnedCroppedPages) {
  for (int rotation : {0, 90, 180, 270}) {
    SCOPED_TRACE(rotation);
    SigningRun run(PenvoraSDKWidgetType::manual,
                   pdftest::documentPdf({{rotation, "[0 0 612 792]", "Cropped", "[40 60 560 760]"}}));
    run.params->certificate->handwrittenSignature = false;  // a placeholder box, no capture
    ASSERT_TRUE(run.show());
    auto* c = run.c;
    run.clickSign();
    ASSERT_NE(c->imageSignatureAnnotation, nullptr);
    const auto sig = c->imageSignatureAnnotation;
    // Dragged far past the shown page's bottom-right corner: the box stops
    // at the crop box, the edge of what is shown.
    const auto inView = [c](const Rect& r) {
      return c->pdfView()->convertRectFromPage({r.x, r.y, r.width, r.height}, 0);
    };
    run.drag(run.centreOf(sig->bounds, 0), inView({40, 60, 520, 700}).bottomRight().toPoint() + QPoint(300, 300));
    const QRectF page = inView({40, 60, 520, 700}), box = inView(sig->bounds);
    const double point = c->pdfView()->scaleFactor();
    EXPECT_NEAR(box.right(), page.right(), point);
    EXPECT_NEAR(box.bottom(), page.bottom(), point);
    // Then to the middle, away from the page's line of text.
    run.drag(run.centreOf(sig->bounds, 0), inView({40, 60, 520, 700}).center().toPoint());
    const QRectF shown = inView(sig->bounds);
    const QRectF shownBox((shown.topLeft() - inView({40, 60, 520, 700}).topLeft()) / point, shown.size() / point);

    QTest::mouseClick(qobject_cast<QAbstractButton*>(c->acceptButton()), Qt::LeftButton);
    ASSERT_TRUE(run.outcome.wait(20000));
    ASSERT_EQ(run.outcome.signedFiles.size(), 1u);
    const auto signedRect = pdftest::signedWidgetRect(run.outcome.signedFiles[0]);
    ASSERT_TRUE(signedRect);
    EXPECT_NEAR(signedRect->x, sig->bounds.x, 1);
    EXPECT_NEAR(signedRect->y, sig->bounds.y, 1);
    EXPECT_NEAR(signedRect->x + signedRect->width, sig->bounds.x + sig->bounds.width, 1);
    EXPECT_NEAR(signedRect->y + signedRect->height, sig->bounds.y + sig->bounds.height, 1);
    // The reader draws the picture (the placeholder logo, wider than high)
    // across the box the viewer showed, not on its side.
    const auto ink = pdftest::inkOnShownPage(
        run.outcome.signedFiles[0],
        {shownBox.x() - 10, shownBox.y() - 10, shownBox.width() + 20, shownBox.height() + 20}, run.dir.path());
    ASSERT_TRUE(ink);
    EXPECT_GE(ink->x, shownBox.left() - 1);
    EXPECT_GE(ink->y, shownBox.top() - 1);
    EXPECT_LE(ink->x + ink->width, shownBox.right() + 1);
    EXPECT_LE(ink->y + ink->height, shownBox.bottom() + 1);
    EXPECT_GT(ink->width, 0.8 * shownBox.width());
    EXPECT_GT(ink->width, 3 * ink->height);
  }
}

TEST(SigningFlowTest, TheFadedSignButtonStartsNoSecondCaptureWhileABoxIsPlaced) {
  SigningRun run(PenvoraSDKWidgetType::manual);
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  run.clickSign();
  ASSERT_TRUE(run.drawAndAccept());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->signaturePage() >= 0; }, 3000));
  EXPECT_TRUE(c->signButton()->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(c->signButton()->focusPolicy(), Qt::NoFocus);
  run.clickSign();
  c->showCapureSignatureAlert();
  EXPECT_EQ(c->captureView(), nullptr);
  int boxes = 0;
  for (const auto& o : c->pdfView()->overlays(c->signaturePage()))
    if (std::dynamic_pointer_cast<ImageSignaturePDFAnnotation>(o)) ++boxes;
  EXPECT_EQ(boxes, 1);

  // The close icon takes the box away and forgets the points.
  run.tap(run.centreOf(c->imageCloseAnnotation->bounds, c->signaturePage()));
  EXPECT_EQ(c->signaturePage(), -1);
  EXPECT_TRUE(c->essParams->pointsB64.empty());
  EXPECT_FALSE(c->confirmButtons()->isVisible());
  for (int p = 0; p < c->pdfView()->pageCount(); ++p) EXPECT_TRUE(c->pdfView()->overlays(p).empty());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->signButtonOpacity() == 1.0; }, 2000));
  EXPECT_FALSE(c->signButton()->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(run.outcome.calls, 0);
  run.clickSign();  // the box is gone: signing may start again
  EXPECT_NE(c->captureView(), nullptr);
}
