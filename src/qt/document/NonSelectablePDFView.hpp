#pragma once
#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <functional>
#include <memory>
#include <vector>

#include "core/document/PDFDocument.hpp"

class QPdfDocument;
class QPdfPageRenderer;

namespace penvora::qt::document {
class ViewerTouchNavigation;
}

namespace penvora::qt::document {

// Something drawn over a page (signature box, its icons), in page space.
class PageOverlay {
 public:
  virtual ~PageOverlay() = default;
  // `pageToView` maps page space (y upwards) to the viewport.
  virtual void draw(QPainter& painter, const QTransform& pageToView) const = 0;
};

// The document viewer: the pages one under the other with a break between
// them, scaled to the width (0.5 to 1.5), text not selectable. Pages are
// rendered off the main thread and cached, so long documents scroll
// smoothly.
class NonSelectablePDFView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  static constexpr double kPageBreak = 8.0;  // points between pages

  explicit NonSelectablePDFView(QWidget* parent = nullptr);
  ~NonSelectablePDFView() override;

  // `structure` gives the boxes and rotations of `rendering`'s pages; both
  // describe the same file and must outlive the view (or be replaced).
  void setDocument(QPdfDocument* rendering, const core::document::PDFDocument* structure);
  int pageCount() const { return static_cast<int>(pages_.size()); }
  // A page's display rotation and crop box (page space); 0 and empty for
  // a page the view does not have.
  int pageRotation(int page) const;
  Rect pageCropBox(int page) const;

  double minScaleFactor = 0.5, maxScaleFactor = 1.5;
  void setAutoScales(bool on);
  bool autoScales() const { return autoScales_; }
  double scaleFactor() const { return scale_; }
  void setScaleFactor(double scale);  // turns automatic scaling off

  int currentPage() const { return currentPage_; }  // -1 without pages
  // Whether the page's picture at the current scale is at hand.
  bool hasPicture(int page) const { return cache_.contains(page); }
  void goToPage(int page);
  // Shows a page-space box of a page, centred where the page allows.
  void goToRect(const QRectF& pageRect, int page);

  QPoint scrollOffset() const;
  void setScrollOffset(const QPoint& offset);

  // The page under a viewport point, or -1 between and beside pages.
  int pageForPoint(const QPointF& viewPoint, bool nearest = false) const;
  QPointF convertToPage(const QPointF& viewPoint, int page) const;
  QPointF convertFromPage(const QPointF& pagePoint, int page) const;
  QRectF convertRectFromPage(const QRectF& pageRect, int page) const;
  QTransform pageToViewTransform(int page) const;
  // Where a page is drawn, in viewport coordinates.
  QRectF pageRectInView(int page) const;

  void setOverlays(int page, const std::vector<std::shared_ptr<PageOverlay>>& overlays);
  const std::vector<std::shared_ptr<PageOverlay>>& overlays(int page) const;
  void clearOverlays();

  // Touch and pen strokes starting where `test` says yes are left to the
  // screen (as mouse input) instead of scrolling or zooming the view.
  void setDraggableHitTest(std::function<bool(const QPointF& viewPoint)> test);

  // The text of a page for assistive technology (the screen's text search
  // reads it); the view's accessible text is the current page's.
  void setPageTextSource(std::function<QString(int page)> source) { pageText_ = std::move(source); }
  QString currentPageText() const { return pageText_ && currentPage_ >= 0 ? pageText_(currentPage_) : QString(); }

  // Blocks until every visible page is rendered (tests, grabbing).
  void waitForVisiblePages(int timeoutMs = 5000);

 signals:
  void pageChanged(int page);
  // A page's picture arrived from the renderer (hasPicture is true now).
  void pageDrawn(int page);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  ViewerTouchNavigation* touch_ = nullptr;  // a child QObject
  std::function<QString(int)> pageText_;
  struct PageLayout {
    Rect crop;
    int rotation = 0;
    QSizeF shown;    // points
    double top = 0;  // points from the document's top, unscaled
  };
  void relayout();
  void updateCurrentPage();
  std::vector<int> visiblePages() const;
  void useNewRenderer();
  void pageRendered(int page, QSize size, const QImage& image);
  void requestVisiblePages();
  QSize renderSize(int page) const;
  void requestRender(int page, QSize size);
  void scrollToTop(double pixels);

  QPdfDocument* rendering_ = nullptr;
  std::unique_ptr<QPdfPageRenderer> renderer_;
  std::vector<PageLayout> pages_;
  double contentHeight_ = 0, maxWidth_ = 0;
  double scale_ = 1.0;
  bool autoScales_ = true;
  int currentPage_ = -1;
  double anchorTop_ = 0;  // document point at the view's top edge
  bool relayingOut_ = false;
  QHash<int, QImage> cache_;     // per page, at the current scale
  QHash<int, QSize> requested_;  // outstanding renders
  std::vector<int> cacheOrder_;  // oldest first, for eviction
  QHash<int, std::vector<std::shared_ptr<PageOverlay>>> overlays_;
};

}  // namespace penvora::qt::document
