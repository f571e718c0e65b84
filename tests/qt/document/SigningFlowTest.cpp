// The whole request through the real widgets and the real engine: capture,
// placement (by rule and by hand), identity, custom text, signing and every
// way a request ends.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "penvora/ErrorTexts.hpp"
#include "penvora/PenvoraSdkCertManager.hpp"
#include "qt/capture/Canvas.hpp"
#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/ui/CustomTextPrompt.hpp"
#include "qt/ui/InfoAlertViewController.hpp"
#include "qt/ui/QtKeychainStore.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;
using namespace penvora::qt::capture;
using namespace penvora::qt::document;
namespace fs = std::filesystem;

namespace {

struct SigningRun : testsupport::Request {
  explicit SigningRun(PenvoraSDKWidgetType type, const std::string& pdf = pdftest::contractPdf()) {
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
  // Presses Sign, draws a signature in the capture panel and accepts it.
  bool signByHand() {
    clickSign();
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
    click(&view->acceptButton());
    return true;
  }
  static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
  void clickSign() { click(c->signButton()); }
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
  // Waits for the report; true when it is one signed file pdfsig accepts.
  bool signedAndVerified() {
    if (!outcome.wait(20000) || outcome.error || outcome.signedFiles.size() != 1) return false;
    return pdftest::pdfsigValidations(outcome.signedFiles.front()) == std::vector<std::string>{"Signature is Valid."};
  }
  // Nothing reported after a step was left: the run is back on the document.
  void expectBackOnTheDocument() {
    QTest::qWait(700);  // past the notice's delay, had signing started
    EXPECT_EQ(c->infoAlert(), nullptr);
    EXPECT_EQ(outcome.calls, 0);
  }
};

}  // namespace

TEST(SigningFlowTest, EachRuleTypeSignsAfterCaptureAndTheOutputVerifies) {
  const std::vector<std::pair<PenvoraSDKWidgetType, std::function<void(PenvoraSDKParams&)>>> cases = {
      {PenvoraSDKWidgetType::fixed, [](PenvoraSDKParams&) {}},
      {PenvoraSDKWidgetType::field, [](PenvoraSDKParams& p) { p.widget->widgetFieldFieldname = "group.Sig2"; }},
      {PenvoraSDKWidgetType::float_, [](PenvoraSDKParams& p) { p.widget->widgetFloatText = "Madrid"; }},
  };
  for (const auto& [type, setUp] : cases) {
    SigningRun run(type);
    setUp(*run.params);
    ASSERT_TRUE(run.show());
    ASSERT_TRUE(run.signByHand());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->infoAlert() != nullptr; }, 3000));
    EXPECT_TRUE(run.signedAndVerified()) << static_cast<int>(type);
    EXPECT_TRUE(run.outcome.onceAfterTheWindows());
    EXPECT_FALSE(run.outcome.imageFile);
  }
}

TEST(SigningFlowTest, MetadataModeHandsBackThePictureAndTheRecordInsteadOfAFile) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->extra->signatureMetadataMode = true;
  run.params->certificate->encKeyB64 = pdftest::bioCertB64();
  ASSERT_TRUE(run.show());
  ASSERT_TRUE(run.signByHand());
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_EQ(run.outcome.error, std::nullopt);
  EXPECT_TRUE(run.outcome.signedFiles.empty());
  ASSERT_TRUE(run.outcome.imageFile);
  EXPECT_TRUE(fs::exists(*run.outcome.imageFile));
  EXPECT_EQ(fs::path(*run.outcome.imageFile).extension(), ".jpg");
  EXPECT_FALSE(run.outcome.header.value_or("").empty() || run.outcome.record.value_or("").empty());
}

TEST(SigningFlowTest, AnEngineThatYieldsNothingEndsWithErrorSigning) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  ASSERT_TRUE(run.show());
  run.params->certificate->signCertP12B64 = core::util::base64Encode(std::string("not a PKCS#12 container"));
  ASSERT_TRUE(run.signByHand());
  ASSERT_TRUE(run.outcome.wait(20000));
  EXPECT_TRUE(run.outcome.onceAfterTheWindows());
  EXPECT_EQ(run.outcome.error, std::string(errortext::ErrorSigning));
}

TEST(SigningFlowTest, ManualBoxIsDraggedResizedAndAcceptedOnATurnedPage) {
  SigningRun run(PenvoraSDKWidgetType::manual);
  run.params->certificate->requestUserCertificate = true;  // an alias nobody stored: the dialog stops the run
  run.params->certificate->defaultAliasUserCertificate = "penvora-test-missing-" + newUuidString();
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  c->pdfView()->goToPage(1);  // the turned page
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->pdfView()->currentPage() == 1; }, 2000));
  ASSERT_TRUE(run.signByHand());
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
  const QPoint handle = run.centreOf(c->imageExpandAnnotation->bounds, 1);
  run.drag(handle, handle + QPoint(40, 0), 6);
  EXPECT_GT(sig->bounds.width, moved.width);
  EXPECT_NEAR(sig->bounds.height / sig->bounds.width, moved.height / moved.width, 0.2);

  // Onto a page with another rotation: refused with a message.
  const QPoint centre = run.centreOf(sig->bounds, 1);
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
  EXPECT_LE(pdftest::cornerGap(c->essParams->bounds, sig->bounds), 0.5);
  EXPECT_FALSE(c->essParams->jpgB64.empty());

  // Cancel the dialog: nothing is reported, the box stays.
  run.click(c->defaultCertDialog()->cancelButton());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->defaultCertDialog() == nullptr; }, 2000));
  EXPECT_EQ(c->signaturePage(), 1);
  EXPECT_EQ(run.outcome.calls, 0);

  // Again, and this time go on with the default identity.
  run.click(c->acceptButton());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->defaultCertDialog() != nullptr; }, 2000));
  run.click(c->defaultCertDialog()->acceptButton());
  EXPECT_TRUE(run.signedAndVerified());
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
  run.click(c->acceptButton());
  EXPECT_TRUE(run.signedAndVerified());
}

TEST(SigningFlowTest, ACustomTextTypedAfterPlacementReplacesTheHostsList) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->widget->requestWidgetCustomText = true;
  run.params->widget->widgetCustomText = {{20, "from the host"}, {9, "second"}};
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  EXPECT_EQ(c->customTextPrompt(), nullptr);  // not before the capture
  ASSERT_TRUE(run.signByHand());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->customTextPrompt() && c->customTextPrompt()->isVisible(); }, 3000));
  const auto* prompt = c->customTextPrompt();
  EXPECT_FALSE(prompt->isWindow());  // a card over the screen, not a window of its own
  EXPECT_EQ(prompt->textField()->placeholderText(), qt::ui::localizedString("EnterSignatureText"));
  QTest::keyClicks(prompt->textField(), "Signed in Madrid");
  QTest::keyClick(prompt->textField(), Qt::Key_Return);  // as a keyboard user ends it
  EXPECT_TRUE(run.signedAndVerified());
  EXPECT_EQ(run.params->widget->widgetCustomText, std::vector{PenvoraSDKWidgetCustomText(11, "Signed in Madrid")});
}

TEST(SigningFlowTest, RejectHandsTheReasonToTheHostAfterTheScreenIsGone) {
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->extra->showReject = true;
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  ASSERT_TRUE(c->rejectButton()->isVisible());
  run.click(c->rejectButton());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->rejectDialog() && c->rejectDialog()->isVisible(); }, 2000));
  QTest::keyClicks(c->rejectDialog()->rejectTextView(), "Wrong amount");
  run.click(c->rejectDialog()->positiveButton());
  ASSERT_TRUE(run.outcome.wait());
  EXPECT_EQ(run.outcome.rejected, "Wrong amount");
  EXPECT_TRUE(run.outcome.onceAfterTheWindows());
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
    run.click(&run.c->captureView()->closeButton());
    run.click(run.c->shareButton());
    EXPECT_EQ(shared, QString::fromStdString(run.params->fileProperties->documentPath));
  }
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->extra->autoOpen = true;
  run.params->extra->viewLastPage = true;
  run.params->fileProperties->documentPath.clear();
  run.params->fileProperties->documentUris = {(run.dir / "in.pdf").string(), run.file("b.pdf", pdftest::plainPdf(1))};
  ASSERT_TRUE(run.show());
  QTest::qWait(100);
  EXPECT_EQ(run.c->captureView(), nullptr);
  EXPECT_FALSE(run.c->shareButton()->isEnabled());  // several documents are not shared
  QFile::remove(run.c->documentPath());
}

TEST(SigningFlowTest, ShareSavesACopyAndTheScreenMayCloseWhileItsDialogIsOpen) {
  {
    SigningRun run(PenvoraSDKWidgetType::fixed);
    ASSERT_TRUE(run.show());
    run.click(run.c->shareButton());
    auto* dialog = run.c->findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    const fs::path copy = run.dir / "copy.pdf";
    dialog->selectFile(QString::fromStdString(copy.string()));
    QMetaObject::invokeMethod(dialog, "accept");
    EXPECT_EQ(testsupport::readText(copy), testsupport::readText(run.params->fileProperties->documentPath));
  }
  // The host closes the screen while the dialog waits for the user.
  SigningRun run(PenvoraSDKWidgetType::fixed);
  ASSERT_TRUE(run.show());
  QPointer<PenvoraSDKSignatureViewController> screen(run.c);
  QTimer::singleShot(200, [&] { delete screen.data(); });
  run.click(run.c->shareButton());
  EXPECT_TRUE(QTest::qWaitFor([&] { return screen.isNull(); }, 3000));
  EXPECT_EQ(run.outcome.calls, 0);
}

TEST(SigningFlowTest, AStoredIdentityFromTheKeychainSignsWithoutAsking) {
  qt::ui::QtKeychainStore::installIfNeeded();
  auto store = PenvoraSdkCertManager::store();
  const std::string alias = "penvora-test-flow-" + newUuidString();
  const Bytes p12 = toBytes(testsupport::makeIdentity("Stored Signer", "pw"));
  ASSERT_FALSE(p12.empty());
  if (!PenvoraSdkCertManager::saveCertOnKeychain(p12, "pw", alias)) {
    if (std::getenv("PENVORA_IN_TEST_SESSION")) FAIL() << "Secret Service not usable";
    GTEST_SKIP() << "no Secret Service (run through make test)";
  }
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->certificate->requestUserCertificate = true;
  run.params->certificate->defaultAliasUserCertificate = alias;
  ASSERT_TRUE(run.show());
  ASSERT_TRUE(run.signByHand());
  // The default-identity dialog would hold the run; it signs on its own.
  ASSERT_TRUE(run.signedAndVerified());
  EXPECT_EQ(run.params->certificate->signCertP12B64, core::util::base64Encode(p12));
  EXPECT_EQ(run.params->certificate->signCertPassword, "pw");
  EXPECT_NE(testsupport::run("pdfsig '" + run.outcome.signedFiles[0] + "'").output.find("Stored Signer"),
            std::string::npos);
  store->remove(alias + ".p12", alias);
  store->remove(alias + ".p12.password", alias);
}

// The keychain may take its time (asking to unlock first) while the screen
// still takes input: Back meanwhile ends the request without a report, and
// the lookup's answer finds the screen gone.
TEST(SigningFlowTest, WhileTheKeychainIsAskedKeysDoNotReachTheScreenAndBackEndsTheRequest) {
  struct SlowStore : SecretStore {
    std::function<void()> meanwhile;
    bool add(const std::string&, const std::string&, const std::vector<std::uint8_t>&) override { return false; }
    std::optional<std::vector<std::uint8_t>> find(const std::string&, const std::string&) override {
      if (meanwhile) std::exchange(meanwhile, {})();
      return std::nullopt;
    }
    void remove(const std::string&, const std::string&) override {}
  };
  const auto previous = PenvoraSdkCertManager::store();
  auto slow = std::make_shared<SlowStore>();
  PenvoraSdkCertManager::setStore(slow);
  // Signs by hand on a screen asking for a stored identity, doing `meanwhile`
  // during the lookup; the screen, while it lasts.
  const auto signAsking = [&](SigningRun& run,
                              const std::function<void(PenvoraSDKSignatureViewController*)>& meanwhile) {
    run.params->certificate->requestUserCertificate = true;
    run.params->certificate->defaultAliasUserCertificate = "penvora-test-slow";
    if (!run.show()) return QPointer<PenvoraSDKSignatureViewController>();
    QPointer<PenvoraSDKSignatureViewController> screen(run.c);
    slow->meanwhile = [screen, meanwhile] { meanwhile(screen.data()); };
    EXPECT_TRUE(run.signByHand());
    return screen;
  };
  {
    SigningRun run(PenvoraSDKWidgetType::fixed);
    const auto screen = signAsking(run, [](PenvoraSDKSignatureViewController* c) {
      const QPointer<PenvoraSDKSignatureViewController> gone(c);
      c->touchUpInsideBackButton();
      (void)QTest::qWaitFor([&] { return gone.isNull(); }, 2000);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return screen.isNull(); }, 2000));
    QTest::qWait(100);
    EXPECT_EQ(run.outcome.calls, 0);
  }
  {
    // Keys pressed meanwhile do not reach the screen (Escape would leave
    // it, or withdraw a placed box): the lookup's answer decides.
    SigningRun run(PenvoraSDKWidgetType::fixed);
    const auto screen = signAsking(run, [](PenvoraSDKSignatureViewController* c) {
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : c, Qt::Key_Escape);
      QTest::qWait(50);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen && screen->findChild<qt::ui::UseDefaultCertDialog*>(); }, 2000));
    EXPECT_EQ(run.outcome.calls, 0);
  }
  PenvoraSdkCertManager::setStore(previous);
}

TEST(SigningFlowTest, CancelledStepsGoBackToTheDocumentWithoutAReport) {
  {  // Closing the capture panel; the user may sign again.
    SigningRun run(PenvoraSDKWidgetType::fixed);
    ASSERT_TRUE(run.show());
    run.clickSign();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() != nullptr; }, 2000));
    run.click(&run.c->captureView()->closeButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() == nullptr; }, 2000));
    run.expectBackOnTheDocument();
    EXPECT_EQ(run.c->essParams->page, -1);
    run.clickSign();
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() != nullptr; }, 2000));
  }
  {  // A float text the check finds (ignoring case) but placement does not (literally).
    SigningRun run(PenvoraSDKWidgetType::float_);
    run.params->widget->widgetFloatText = "MADRID";
    ASSERT_TRUE(run.show());
    ASSERT_TRUE(run.signByHand());
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->captureView() == nullptr; }, 2000));
    run.expectBackOnTheDocument();
    EXPECT_EQ(run.c->essParams->page, -1);
  }
  // Cancelling the custom text prompt.
  SigningRun run(PenvoraSDKWidgetType::fixed);
  run.params->widget->requestWidgetCustomText = true;
  ASSERT_TRUE(run.show());
  ASSERT_TRUE(run.signByHand());
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->customTextPrompt() != nullptr; }, 3000));
  run.click(run.c->customTextPrompt()->cancelButton());
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.c->customTextPrompt() == nullptr; }, 2000));
  run.expectBackOnTheDocument();
  EXPECT_TRUE(run.params->widget->widgetCustomText.empty());
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
    const auto inView = [c](const Rect& r) {
      return c->pdfView()->convertRectFromPage({r.x, r.y, r.width, r.height}, 0);
    };
    // Dragged far past the shown page's bottom-right corner: the box stops
    // at the crop box, the edge of what is shown. (The view scrolls along.)
    run.drag(run.centreOf(sig->bounds, 0), inView({40, 60, 520, 700}).bottomRight().toPoint() + QPoint(300, 300));
    QRectF page = inView({40, 60, 520, 700});
    const double point = c->pdfView()->scaleFactor();
    EXPECT_NEAR(inView(sig->bounds).right(), page.right(), point);
    EXPECT_NEAR(inView(sig->bounds).bottom(), page.bottom(), point);
    // Then to the middle, away from the page's line of text.
    run.drag(run.centreOf(sig->bounds, 0), page.center().toPoint());
    page = inView({40, 60, 520, 700});
    const QRectF shown = inView(sig->bounds);
    const QRectF box((shown.topLeft() - page.topLeft()) / point, shown.size() / point);

    run.click(c->acceptButton());
    ASSERT_TRUE(run.signedAndVerified());
    EXPECT_LE(pdftest::cornerGap(pdftest::signedWidgetRect(run.outcome.signedFiles[0]).value_or(Rect{}), sig->bounds),
              1);
    // The reader draws the picture (the placeholder logo, wider than high)
    // across the box the viewer showed, not on its side.
    const auto ink = pdftest::inkOnShownPage(
        run.outcome.signedFiles[0], {box.x() - 10, box.y() - 10, box.width() + 20, box.height() + 20}, run.dir.path());
    ASSERT_TRUE(ink);
    EXPECT_TRUE(QRectF(box).adjusted(-1, -1, 1, 1).contains(QRectF(ink->x, ink->y, ink->width, ink->height)));
    EXPECT_GT(ink->width, 0.8 * box.width());
    EXPECT_GT(ink->width, 3 * ink->height);
  }
}

// (The faded Sign button taking no taps is checked through the window system
// in scripts/run-gui-tests.)
TEST(SigningFlowTest, NoSecondCaptureWhileABoxIsPlacedAndTheCloseIconTakesItAway) {
  SigningRun run(PenvoraSDKWidgetType::manual);
  ASSERT_TRUE(run.show());
  auto* c = run.c;
  ASSERT_TRUE(run.signByHand());
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->signaturePage() >= 0; }, 3000));
  c->showCapureSignatureAlert();
  EXPECT_EQ(c->captureView(), nullptr);

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
