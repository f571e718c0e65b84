// A host that is a window, not a widget (a QQuickWindow): the screen's
// window is tied to it and takes its size; it goes when the screen does.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QWindow>

#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora;

TEST(WindowHostTest, TheScreenIsATransientChildOfTheHostWindow) {
  testsupport::Request r;
  r.document(pdftest::plainPdf());
  r.params->extra->fullScreen = false;
  QWindow host;
  host.resize(640, 480);
  host.show();
  PenvoraSDKLauncher::handleDocument(r.params, &host, r.outcome.success(), r.outcome.reject(), r.outcome.failure());
  auto* c = testsupport::shownController();
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->window()->windowHandle(), nullptr);
  EXPECT_EQ(c->window()->windowHandle()->transientParent(), &host);
  EXPECT_EQ(c->window()->size(), host.size());
  EXPECT_FALSE(c->window()->accessibleName().isEmpty());
  QPointer<qt::document::PenvoraSDKSignatureViewController> alive(c);
  c->touchUpInsideBackButton();
  ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 3000));
  EXPECT_EQ(r.outcome.calls, 0);
}
