// Every screen as assistive technology meets it: no control without a
// name (a glyph is no name), in both languages; the shown page's text, the
// security bar's value, the reject error and the link from the keyboard.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <set>

#include "qt/capture/ProgressBar.hpp"
#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/ui/CustomTextPrompt.hpp"
#include "qt/ui/InsertPasswordPDFView.hpp"
#include "qt/ui/QtColor.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora;

namespace {

bool interactive(QAccessibleInterface* a) {
  using A = QAccessible;
  static const std::set<A::Role> controls{A::PushButton, A::CheckBox, A::RadioButton, A::EditableText, A::ScrollBar,
                                          A::Slider,     A::SpinBox,  A::ComboBox,    A::ProgressBar,  A::Link};
  return controls.count(a->role()) || a->state().focusable;  // the viewer, the canvas, the link label
}

// Interactive elements shown under `root` whose name is empty or has no
// letter in it ("✕", "⚠", "‹").
QStringList unnamed(QWidget* root) {
  QStringList found;
  std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* a) {
    if (!a || a->state().invisible) return;
    const QString name = a->text(QAccessible::Name);
    if (interactive(a) && !std::any_of(name.begin(), name.end(), [](QChar ch) { return ch.isLetter(); }))
      found << QString(a->object() ? a->object()->metaObject()->className() : "?") + " \"" + name + '"';
    for (int i = 0; i < a->childCount(); ++i) walk(a->child(i));
  };
  walk(QAccessible::queryAccessibleInterface(root));
  return found;
}

QString nameOf(QObject* o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); }

}  // namespace

TEST(AccessibilityTest, EveryControlOfEveryScreenHasANameInBothLanguages) {
  std::map<std::string, QString> viewerNames;
  for (const char* language : {"en", "es"}) {
    SCOPED_TRACE(language);
    testsupport::Request run;
    run.document(pdftest::contractPdf());
    run.params->widget->widgetType = PenvoraSDKWidgetType::manual;
    run.params->certificate->handwrittenSignature = false;
    run.params->extra->showReject = true;
    run.params->fileProperties->isShareable = true;
    qt::ui::setLanguage(language);  // after the request's own English
    run.launch();
    auto* c = testsupport::shownController();
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([c] { return c->document() != nullptr; }, 5000));
    EXPECT_EQ(unnamed(c->window()), QStringList()) << "signing screen";
    viewerNames[language] = nameOf(c->pdfView());
    EXPECT_FALSE(nameOf(c->pdfView()->verticalScrollBar()).isEmpty());
    EXPECT_FALSE(nameOf(c).isEmpty());

    qobject_cast<QAbstractButton*>(c->signButton())->click();  // the manual box and its three controls
    ASSERT_TRUE(c->closeControl()->isVisible());
    EXPECT_EQ(unnamed(c->window()), QStringList()) << "manual box";
    qobject_cast<QAbstractButton*>(c->cancelButton())->click();

    qobject_cast<QAbstractButton*>(c->rejectButton())->click();
    ASSERT_NE(c->rejectDialog(), nullptr);
    EXPECT_EQ(unnamed(c->rejectDialog()), QStringList()) << "reject dialog";
    c->rejectDialog()->negativeButton()->click();

    c->penvoraSDKParams->certificate->handwrittenSignature = true;
    c->presentCapture();
    ASSERT_NE(c->captureView(), nullptr);
    EXPECT_EQ(unnamed(c->captureView()), QStringList()) << "capture panel";
    EXPECT_FALSE(nameOf(&c->captureView()->canvasView()).isEmpty());
    c->captureView()->closeButton().click();

    auto* prompt = new qt::ui::CustomTextPrompt(c);
    prompt->show();
    EXPECT_EQ(unnamed(prompt), QStringList()) << "custom text";
    delete prompt;
    c->touchUpInsideBackButton();
  }
  EXPECT_NE(viewerNames["en"], viewerNames["es"]);
  qt::ui::setLanguage("en");
}

TEST(AccessibilityTest, PanelsNameTheirGlyphsAndTheLinkOpensFromTheKeyboard) {
  qt::ui::setLanguage("en");
  qt::ui::InsertPasswordPDFView password({}, {});
  password.show();
  EXPECT_EQ(unnamed(&password), QStringList());
  EXPECT_EQ(nameOf(password.closeButton()), "Close");
  password.showProblem("Wrong password");
  EXPECT_EQ(password.passwordField()->accessibleDescription(), "Wrong password");  // said, not only shown

  int opened = 0;
  qt::ui::UseDefaultCertDialog dialog({}, {}, QUrl("https://example.org"), [&](const QUrl&) { ++opened; });
  dialog.show();
  EXPECT_EQ(unnamed(&dialog), QStringList());
  auto* link = dialog.messageLabel();
  EXPECT_NE(link->focusPolicy(), Qt::NoFocus);
  QTest::keyClick(link, Qt::Key_Return);
  QTest::keyClick(link, Qt::Key_Space);
  EXPECT_EQ(opened, 2);
}

TEST(AccessibilityTest, TheShownPageIsReadOutAndTheSecurityBarHasAValue) {
  testsupport::Request run;
  run.document(pdftest::contractPdf());
  auto* c = run.shown();
  ASSERT_NE(c, nullptr);
  // Said once the page is drawn.
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->pdfView()->accessibleDescription().startsWith("Page 1 of 3"); }, 2000));
  EXPECT_TRUE(c->pdfView()->accessibleDescription().contains("Contract"));
  c->pdfView()->goToPage(2);
  ASSERT_TRUE(QTest::qWaitFor([c] { return c->pdfView()->accessibleDescription().contains("The end"); }, 2000));
  EXPECT_TRUE(c->pdfView()->accessibleDescription().startsWith("Page 3 of 3"));
  // The same text through the text interface a reader walks.
  auto* text = QAccessible::queryAccessibleInterface(c->pdfView())->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->text(0, text->characterCount()).startsWith("The end"));

  qt::capture::ProgressBar bar;
  auto* a = QAccessible::queryAccessibleInterface(&bar);
  ASSERT_EQ(a->role(), QAccessible::ProgressBar);
  ASSERT_NE(a->valueInterface(), nullptr);
  EXPECT_EQ(a->valueInterface()->currentValue().toInt(), 0);
  bar.setValue(0.456f);
  EXPECT_EQ(a->valueInterface()->currentValue().toInt(), 46);
  bar.setValue(3.0f);  // past full the bar stops at its track
  EXPECT_EQ(a->valueInterface()->currentValue().toInt(), 100);
  // The toolbar's text is white unless the host restores the original black.
  qApp->setProperty("penvoraToolbarTitleColor", qt::ui::namedColor("ToolbarTitleColor"));
  EXPECT_EQ(qt::ui::toolbarTextColor(), QColor(Qt::black));
  qApp->setProperty("penvoraToolbarTitleColor", QVariant());
  EXPECT_EQ(qt::ui::toolbarTextColor(), QColor(Qt::white));
}
