
#include <gtest/gtest.h>
#include <QPainter>
#include <QSignalSpy>
#include <QThread>
#include <atomic>

#include "qt/document/DocumentReadAhead.hpp"
#include "qt/document/PDFTextSearch.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/QtTestSupport.hpp"

using namespace penvora::qt::document;
using namespace penvora::core::document;

namespace {

using testsupport::Viewer;

// Darkest grey level inside a viewport rectangle of a grab.
int darkest(const QImage& image, const QRectF& r, qreal dpr) {
  int best = 255;
  const QRect px = QRectF(r.topLeft() * dpr, r.size() * dpr).toAlignedRect().intersected(image.rect());
  for (int y = px.top(); y <= px.bottom(); ++y)
    for (int x = px.left(); x <= px.right(); ++x) best = std::min(best, qGray(image.pixel(x, y)));
  return best;
}

std::string threePages() {
  return pdftest::documentPdf({{0, "[0 0 612 792]", "First page"},
                               {90, "[0 0 612 792] /CropBox [50 60 562 752]", "Turned page"},
                               {180, "[0 0 612 792]", "Upside down"}});
}

TEST(NonSelectablePDFViewTest, ScalesToTheWidthWithinItsLimits) {
  Viewer v(threePages());
  ASSERT_EQ(v.view.pageCount(), 3);
  EXPECT_NEAR(v.view.scaleFactor(), v.view.viewport()->width() / (692.0 + 16.0), 1e-9);  // widest: the turned page
  v.view.resize(3000, 900);
  EXPECT_EQ(v.view.scaleFactor(), 1.5);
  v.view.resize(200, 900);
  EXPECT_EQ(v.view.scaleFactor(), 0.5);
  v.view.setScaleFactor(3.0);
  EXPECT_FALSE(v.view.autoScales());
  EXPECT_EQ(v.view.scaleFactor(), 1.5);
}

TEST(NonSelectablePDFViewTest, TextFoundInPageSpaceIsWhereThePageShowsIt) {
  Viewer v(threePages());
  PDFTextSearch search(v.path(), {});
  for (const char* word : {"First", "Turned", "Upside"}) {
    SCOPED_TRACE(word);
    const auto found = search.findString(word, literal);
    ASSERT_EQ(found.size(), 1u);
    const int page = static_cast<int>(found[0].pageIndex);
    const QRectF box(found[0].bounds.x, found[0].bounds.y, found[0].bounds.width, found[0].bounds.height);
    v.view.goToRect(box, page);
    EXPECT_EQ(v.view.currentPage(), page);
    v.view.waitForVisiblePages();
    const QImage shot = v.view.viewport()->grab().toImage();
    const QRectF inView = v.view.convertRectFromPage(box, page);
    EXPECT_LT(darkest(shot, inView, shot.devicePixelRatio()), 100) << "ink inside the box";
    // Beside the box on the page: paper.
    const QRectF beside = inView.translated(0, inView.height() * 3);
    if (v.view.pageForPoint(beside.center()) == page) {
      EXPECT_EQ(darkest(shot, beside, shot.devicePixelRatio()), 255);
    }
    if (const char* keep = std::getenv("PENVORA_KEEP_PICTURES")) shot.save(QString(keep) + "/viewer-" + word + ".png");
  }
}

TEST(NonSelectablePDFViewTest, NavigationPagesUnderPointsAndConversions) {
  Viewer v(threePages());
  QSignalSpy changed(&v.view, &NonSelectablePDFView::pageChanged);
  v.view.goToPage(2);
  EXPECT_EQ(v.view.currentPage(), 2);
  ASSERT_FALSE(changed.isEmpty());
  EXPECT_EQ(changed.last().at(0).toInt(), 2);
  const QPoint offset = v.view.scrollOffset();
  v.view.setScrollOffset({0, 0});
  EXPECT_EQ(v.view.currentPage(), 0);
  v.view.setScrollOffset(offset);
  EXPECT_EQ(v.view.currentPage(), 2);

  v.view.goToPage(1);
  for (QPointF p : {QPointF(100, 100), QPointF(300.5, 700.25)}) {
    const QPointF there = v.view.convertFromPage(p, 1);
    EXPECT_EQ(v.view.pageForPoint(there), 1);
    EXPECT_NEAR(QLineF(v.view.convertToPage(there, 1), p).length(), 0, 1e-6);
  }
  EXPECT_EQ(v.view.pageForPoint(QPointF(2, 2)), -1);  // the margin beside the page
}

struct Fill : PageOverlay {
  QRectF box;
  void draw(QPainter& p, const QTransform& t) const override { p.fillRect(t.mapRect(box), Qt::red); }
};

TEST(NonSelectablePDFViewTest, OverlaysAreDrawnOverTheirPage) {
  Viewer v(threePages());
  auto fill = std::make_shared<Fill>();
  fill->box = QRectF(100, 100, 200, 60);
  v.view.setOverlays(1, {fill});
  v.view.goToRect(fill->box, 1);
  v.view.waitForVisiblePages();
  const QImage shot = v.view.viewport()->grab().toImage();
  const QPointF c = v.view.convertFromPage(fill->box.center(), 1) * shot.devicePixelRatio();
  EXPECT_EQ(QColor(shot.pixel(c.toPoint())), QColor(Qt::red));
  EXPECT_EQ(v.view.overlays(1).size(), 1u);
  v.view.clearOverlays();
  EXPECT_TRUE(v.view.overlays(1).empty());
}

TEST(NonSelectablePDFViewTest, LongDocumentsRenderOnlyWhatIsShown) {
  Viewer v(pdftest::plainPdf(500));
  ASSERT_EQ(v.view.pageCount(), 500);
  v.view.goToPage(499);
  EXPECT_EQ(v.view.currentPage(), 499);
  v.view.waitForVisiblePages();
  const QImage shot = v.view.viewport()->grab().toImage();
  const QRectF page = v.view.convertRectFromPage(QRectF(0, 0, 612, 792), 499);
  EXPECT_LT(darkest(shot, page, shot.devicePixelRatio()), 100);  // its text is drawn
}

TEST(NonSelectablePDFViewTest, ReadAheadHandsOverADocumentReadyToDraw) {
  testsupport::TempDir dir;
  testsupport::writeText(dir / "plain.pdf", pdftest::plainPdf(3));
  std::atomic<bool> told = false;
  DocumentReadAhead ahead((dir / "plain.pdf").string(), [&] { told = true; });
  DocumentReadAhead::Opened plain = *ahead.take();
  EXPECT_TRUE(told);  // before the hand-over, so the screen can wait without blocking
  ASSERT_TRUE(plain.structure && plain.rendering);
  EXPECT_EQ(plain.structure->allPageBoxes().size(), 3u);
  // Loaded on the worker, but owned by the thread that asked.
  EXPECT_EQ(plain.rendering->thread(), QThread::currentThread());
  NonSelectablePDFView view;
  view.resize(640, 900);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.setDocument(plain.rendering.get(), &*plain.structure);
  view.waitForVisiblePages();
  const QImage shot = view.viewport()->grab().toImage();
  EXPECT_LT(darkest(shot, view.convertRectFromPage(QRectF(0, 0, 612, 792), 0), shot.devicePixelRatio()), 100);

  // A locked document waits for its password; nothing is drawn from it yet.
  const auto locked = pdftest::encrypted(dir / "plain.pdf", "secret");
  DocumentReadAhead::Opened shut = *DocumentReadAhead(locked.string(), {}).take();
  ASSERT_TRUE(shut.structure);
  EXPECT_TRUE(shut.structure->isLocked());
  EXPECT_FALSE(shut.rendering);
}

TEST(NonSelectablePDFViewTest, APageDrawnForTheDocumentShownBeforeIsNeverShownForTheNext) {
  testsupport::TempDir dir;
  testsupport::writeText(dir / "ink.pdf", pdftest::documentPdf({{0, "[0 0 612 792]", "Ink of the first document"}}));
  testsupport::writeText(dir / "blank.pdf", pdftest::documentPdf({{0, "[0 0 612 792]", ""}}));
  const auto inkStructure = PDFDocument::open((dir / "ink.pdf").string());
  const auto blankStructure = PDFDocument::open((dir / "blank.pdf").string());
  QPdfDocument ink, blank;
  ink.load(QString::fromStdString((dir / "ink.pdf").string()));
  blank.load(QString::fromStdString((dir / "blank.pdf").string()));
  NonSelectablePDFView view;
  view.resize(640, 900);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.setDocument(&blank, &*blankStructure);
  view.waitForVisiblePages();
  const QImage expected = view.viewport()->grab().toImage();
  // The first document's page is asked for at once and may be drawn while
  // the second replaces it; which comes first varies, hence the rounds.
  for (int round = 0; round < 50; ++round) {
    view.setDocument(&ink, &*inkStructure);
    view.setDocument(&blank, &*blankStructure);
    view.waitForVisiblePages();
    ASSERT_EQ(view.viewport()->grab().toImage(), expected) << "round " << round;
  }
}

}  // namespace
