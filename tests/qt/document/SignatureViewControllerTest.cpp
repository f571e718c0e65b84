// The signing screen as the host sees it: put up by the launcher over a
// host widget, ending every request with one callback after its windows
// are gone.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include "penvora/ErrorTexts.hpp"
#include "qt/ui/InsertPasswordPDFView.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora;
using testsupport::Outcome, testsupport::Request;

namespace {

std::string localized(const char* key) { return qt::ui::localizedString(key).toStdString(); }

}  // namespace

TEST(LauncherTest, TheOutputNameMustEndInPdfWhateverItsCase) {
  for (const std::string bad : {"signed.pdf.txt", "signed", ""}) {
    Request r;
    r.document(pdftest::plainPdf());
    r.params->fileProperties->signedName = bad;
    r.launch();
    // At once, before anything is shown.
    EXPECT_EQ(r.outcome.calls, 1) << bad;
    EXPECT_EQ(r.outcome.error, localized(errorkey::IncorrectPDFExtension));
    EXPECT_FALSE(Outcome::componentWindowsVisible());
  }
  // Missing parameters end at once too, instead of crashing the host.
  for (int part = 0; part < 2; ++part) {
    Request r;
    if (part == 0) r.params.reset();
    if (part == 1) r.params->widget.reset();
    r.launch();
    EXPECT_EQ(r.outcome.error, errortext::MissingParameters);
  }
  Request r;
  r.document(pdftest::plainPdf());
  r.params->fileProperties->signedName = "Signed.PDF";
  auto* c = r.shown();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(r.outcome.calls, 0);
  EXPECT_TRUE(c->window()->isFullScreen());
  ASSERT_NE(c->essParams, nullptr);
  EXPECT_EQ(c->essParams->page, -1);
  testsupport::keepPicture(*c->window(), "signing-screen");
  // Back leaves without any callback.
  QPointer<qt::document::PenvoraSDKSignatureViewController> alive(c);
  QTest::mouseClick(c->findChild<QAbstractButton*>("backButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 3000));
  QTest::qWait(50);
  EXPECT_EQ(r.outcome.calls, 0);
  EXPECT_FALSE(Outcome::componentWindowsVisible());
}

TEST(LauncherTest, WithoutFullScreenTheWindowTakesTheHostsSizeAndRequestsShareNothing) {
  Request first;
  first.document(pdftest::plainPdf());
  first.params->extra->fullScreen = false;
  auto* c1 = first.shown();
  ASSERT_NE(c1, nullptr);
  EXPECT_FALSE(c1->window()->isFullScreen());
  EXPECT_EQ(c1->window()->size(), first.host.size());
  c1->essParams->jpgB64 = "first request's picture";

  Request second;
  second.document(pdftest::plainPdf());
  second.launch();
  auto* c2 = testsupport::shownController(c1);
  ASSERT_NE(c2, nullptr);
  EXPECT_NE(c2->essParams, c1->essParams);
  EXPECT_TRUE(c2->essParams->jpgB64.empty());
}

TEST(SignatureViewControllerTest, EachFailureEndsTheRequestOnceAfterTheScreenIsGone) {
  struct Case {
    const char* name;
    std::function<void(Request&)> setUp;
    std::string expected;
  };
  // Entries written from PDF bytes; an empty text names a file that does not exist.
  const auto sources = [](std::vector<std::string> pdfs, PenvoraSDKWidgetType type) {
    return [=](Request& r) {
      r.params->widget->widgetType = type;
      for (std::size_t i = 0; i < pdfs.size(); ++i)
        r.params->fileProperties->documentUris.push_back(pdfs[i].empty() ? (r.dir / "missing.pdf").string()
                                                                         : r.file(std::to_string(i) + ".pdf", pdfs[i]));
    };
  };
  const auto sized = [](std::int64_t width, std::int64_t height) {
    return [=](Request& r) {
      r.document(pdftest::plainPdf());
      r.params->widget->widgetWidth = width;
      r.params->widget->widgetHeight = height;
    };
  };
  const std::string plain = pdftest::plainPdf(), empty = pdftest::documentPdf({});
  const auto fixed = PenvoraSDKWidgetType::fixed;
  const std::vector<Case> cases = {
      {"no document", [](Request&) {}, errortext::NoDocument},
      {"blank path, no entries", [](Request& r) { r.params->fileProperties->documentPath = "  \n"; },
       errortext::NoDocument},
      {"several documents placed by hand", sources({plain, plain}, PenvoraSDKWidgetType::manual),
       errortext::MultidocumentManual},
      {"a source that cannot be opened", sources({plain, ""}, fixed), errortext::DocumentNotAccessible},
      {"only empty sources", sources({empty, empty}, fixed), errortext::DocumentNotAccessible},
      {"a box wider than four times its height", sized(500, 100), localized(errorkey::IncorrectRatio)},
      {"a box too small", sized(60, 40), localized(errorkey::IncorrectSignatureSize)},
      {"float text not in the document",
       [](Request& r) {
         r.document(pdftest::plainPdf());
         r.params->widget->widgetType = PenvoraSDKWidgetType::float_;
         r.params->widget->widgetFloatText = "Firma";
       },
       floatTextNotFoundMessage(localized(errorkey::IncorrectFloatText), "Firma", localized(errorkey::onDocument))},
  };
  for (const auto& c : cases) {
    Request r;
    c.setUp(r);
    r.launch();
    ASSERT_TRUE(r.outcome.wait()) << c.name;
    QTest::qWait(50);  // a second report would arrive by now
    EXPECT_TRUE(r.outcome.onceAfterTheWindows()) << c.name;
    EXPECT_EQ(r.outcome.error, c.expected) << c.name;
  }
}

// The outcome comes once the screen is gone, so a host may delete its own
// window (and the screen's with it) in the callback.
TEST(SignatureViewControllerTest, TheHostMayDeleteItsWindowInTheCallback) {
  Request r;
  r.document(pdftest::plainPdf());
  r.params->widget->widgetWidth = 60;
  r.params->widget->widgetHeight = 40;  // too small: an error once shown
  auto* host = new QWidget;
  host->resize(800, 1000);
  QPointer<QWidget> alive(host);
  bool reported = false;
  PenvoraSDKLauncher::handleDocument(r.params, host, {}, {}, [&](const std::optional<std::string>&) {
    reported = true;
    delete host;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return reported; }, 10000));
  QTest::qWait(50);  // the screen's own clean-up after the callback
  EXPECT_TRUE(alive.isNull());
}

TEST(SignatureViewControllerTest, ThreeSourcesWithAnEmptyMiddleOneShowAsOneDocument) {
  Request r;
  r.params->fileProperties->documentPath = " \t";  // blank: the entries count
  r.params->fileProperties->documentUris = {r.file("first.pdf", pdftest::plainPdf(2)),
                                            r.file("empty.pdf", pdftest::documentPdf({})),
                                            r.file("third.pdf", pdftest::plainPdf(3))};
  auto* c = r.shown();
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->document(), nullptr);
  EXPECT_EQ(c->document()->pageCount(), 5u);
  EXPECT_EQ(c->penvoraSDKParams->fileProperties->documentUris.size(), 3u);
  // The merged file (named by DocumentMergeTest's rule) sits in the temporary folder.
  EXPECT_EQ(QFileInfo(c->documentPath()).absolutePath(), QDir::cleanPath(QDir::tempPath()));
  EXPECT_EQ(c->titleText(), "[1/2]  first");
  EXPECT_EQ(c->subtitleText(), "Page 1 of 5");

  c->pdfView()->goToPage(2);
  EXPECT_TRUE(QTest::qWaitFor([c] { return c->subtitleText() == "Page 3 of 5"; }, 2000))
      << c->subtitleText().toStdString();
  EXPECT_EQ(c->titleText(), "[2/2]  third");
  testsupport::keepPicture(*c->window(), "merged-page-3");
  QFile::remove(c->documentPath());
}

TEST(SignatureViewControllerTest, APathWinsOverTheEntriesAndAFileUrlIsOpened) {
  Request r;
  const std::string path = r.file("only.pdf", pdftest::plainPdf(1));
  r.params->fileProperties->documentPath = "file://" + path;
  r.params->fileProperties->documentUris = {r.file("a.pdf", pdftest::plainPdf(2)),
                                            r.file("b.pdf", pdftest::plainPdf(2))};
  r.params->commonProperties->title = "Contract";
  auto* c = r.shown();
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->document(), nullptr);
  EXPECT_EQ(c->document()->pageCount(), 1u);
  EXPECT_EQ(c->penvoraSDKParams->fileProperties->documentUris, std::vector<std::string>{"file://" + path});
  EXPECT_TRUE(c->documentPageInfos.empty());
  EXPECT_EQ(c->titleText(), "Contract");
}

TEST(SignatureViewControllerTest, ThePasswordPanelComesBackUntilThePasswordFits) {
  Request r;
  r.params->fileProperties->documentPath = pdftest::encrypted(r.file("a.pdf", pdftest::plainPdf(2)), "s3cret");
  r.launch();
  auto* c = testsupport::shownController();
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->passwordPanel() != nullptr; }, 5000));
  testsupport::keepPicture(*c->window(), "password-panel");
  EXPECT_EQ(c->passwordPanel()->problem(), "") << "nothing went wrong yet";

  auto typeAndAccept = [&](const QString& password) {
    qt::ui::InsertPasswordPDFView* panel = c->passwordPanel();
    QTest::keyClicks(panel->passwordField(), password);
    QTest::mouseClick(panel->findChild<QAbstractButton*>("acceptButton"), Qt::LeftButton);
  };
  typeAndAccept("wrong");
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->passwordPanel() != nullptr && c->passwordPanel()->isVisible(); }, 5000));
  EXPECT_EQ(c->document(), nullptr);
  EXPECT_EQ(c->passwordPanel()->passwordField()->text(), "");  // each time empty
  EXPECT_EQ(c->passwordPanel()->problem(), "The PDF password is incorrect");

  typeAndAccept("s3cret");
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->document() != nullptr; }, 5000));
  EXPECT_EQ(c->passwordPanel(), nullptr);
  EXPECT_EQ(r.params->fileProperties->password, "s3cret");
  EXPECT_EQ(c->subtitleText(), "Page 1 of 2");
  EXPECT_EQ(r.outcome.calls, 0);
}

TEST(SignatureViewControllerTest, CancellingThePasswordPanelEndsTheRequest) {
  Request r;
  r.params->fileProperties->documentPath = pdftest::encrypted(r.file("a.pdf", pdftest::plainPdf()), "s3cret");
  r.params->fileProperties->password = "not it";
  r.launch();
  auto* c = testsupport::shownController();
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->passwordPanel() != nullptr; }, 5000));
  QTest::mouseClick(c->passwordPanel()->findChild<QAbstractButton*>("cancelButton"), Qt::LeftButton);
  ASSERT_TRUE(r.outcome.wait());
  EXPECT_EQ(r.outcome.error, localized(errorkey::IncorrectPDFPassword));
  EXPECT_TRUE(r.outcome.windowsGoneWhenCalled);
}

// A locked document found while the reject dialog is open waits for it.
TEST(SignatureViewControllerTest, ThePasswordPanelWaitsForTheRejectDialog) {
  for (const bool cancelled : {true, false}) {
    Request r;
    r.params->fileProperties->documentPath = pdftest::encrypted(r.file("a.pdf", pdftest::plainPdf()), "s3cret");
    r.launch();
    auto* c = testsupport::shownController();
    ASSERT_NE(c, nullptr);
    if (c->passwordPanel()) GTEST_SKIP() << "the document was read before the dialog could open";
    c->touchUpInsideRejectButton();
    auto* dialog = c->rejectDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::qWait(300);
    EXPECT_EQ(c->passwordPanel(), nullptr);
    EXPECT_EQ(qt::ui::ModalOverlay::topmostIn(c->window()), dialog);
    if (cancelled) {
      dialog->negativeButton()->click();
      ASSERT_TRUE(QTest::qWaitFor([c] { return c->passwordPanel() != nullptr; }, 5000));
      EXPECT_EQ(qt::ui::ModalOverlay::topmostIn(c->window()), c->passwordPanel());
      EXPECT_EQ(r.outcome.calls, 0);
    } else {
      dialog->rejectTextView()->setPlainText("Not my contract");
      dialog->positiveButton()->click();
      ASSERT_TRUE(r.outcome.wait());
      EXPECT_EQ(r.outcome.calls, 1);
      EXPECT_EQ(r.outcome.rejected, "Not my contract");
    }
  }
}

TEST(SignatureViewControllerTest, TheFirstPageShownFollowsTheRequest) {
  const std::vector<std::pair<std::function<void(Request&)>, int>> cases = {
      {[](Request& r) { r.params->commonProperties->renderDefaultIndexPage = 2; }, 2},
      {[](Request& r) {  // past the end: the fixed page decides
         r.params->commonProperties->renderDefaultIndexPage = 9;
         r.params->widget->widgetFixedPage = 4;
       },
       3},
      {[](Request& r) {  // field mode: the named field's page
         r.params->fileProperties->documentPath =
             r.file("f.pdf", pdftest::documentPdf({{}, {}, {}}, /*signatureFields=*/true));
         r.params->widget->widgetType = PenvoraSDKWidgetType::field;
         r.params->widget->widgetFieldFieldname = "group.Sig2";
       },
       2},
  };
  for (const auto& [setUp, page] : cases) {
    Request r;
    r.document(pdftest::plainPdf(4));
    setUp(r);
    auto* c = r.shown();
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([c, page] { return c->pdfView()->currentPage() == page; }, 2000)) << page;
  }
}

TEST(SignatureViewControllerTest, ViewingTheLastPageUnlocksTheSignButtonOnce) {
  Request r;
  r.document(pdftest::plainPdf(3));
  r.params->extra->viewLastPage = true;
  auto* c = r.shown();
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(c->signButton()->isEnabled());
  EXPECT_EQ(c->pdfView()->currentPage(), 0);
  c->pdfView()->goToPage(2);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->signButton()->isEnabled(); }, 2000));
  EXPECT_FALSE(r.params->extra->viewLastPage);
  c->pdfView()->goToPage(0);
  QTest::qWait(50);
  EXPECT_TRUE(c->signButton()->isEnabled());
}
