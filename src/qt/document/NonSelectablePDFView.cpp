#include "qt/document/NonSelectablePDFView.hpp"

#include "qt/document/AccessibleDocumentView.hpp"
#include "qt/document/ViewerTouchNavigation.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfPageRenderer>
#include <QScrollBar>
#include <algorithm>

#include "core/document/PageGeometry.hpp"

namespace penvora::qt::document {
namespace {

constexpr int kCachedPages = 24;

core::document::Point toGeo(const QPointF& p) { return {p.x(), p.y()}; }

}  // namespace

NonSelectablePDFView::NonSelectablePDFView(QWidget* parent) : QAbstractScrollArea(parent) {
  installAccessibleDocumentView();
  useNewRenderer();
  touch_ = new ViewerTouchNavigation(this);
  viewport()->setAutoFillBackground(false);
  setFrameShape(QFrame::NoFrame);
}

void NonSelectablePDFView::useNewRenderer() {
  // One renderer per document: pages still being drawn for the document
  // shown before go with its renderer (which waits for them as it goes),
  // so none reaches this view, and no request for the next document is
  // merged with one of them (a renderer answers a request like one still
  // in flight with that one).
  renderer_ = std::make_unique<QPdfPageRenderer>();
  renderer_->setRenderMode(QPdfPageRenderer::RenderMode::MultiThreaded);
  connect(renderer_.get(), &QPdfPageRenderer::pageRendered, this,
          [this](int page, QSize size, const QImage& image) { pageRendered(page, size, image); });
}

void NonSelectablePDFView::pageRendered(int page, QSize size, const QImage& image) {
  if (requested_.value(page) == size) requested_.remove(page);
  if (page < 0 || page >= pageCount()) return;
  if (size != renderSize(page)) return;  // the scale changed meanwhile
  QImage copy = image;
  copy.setDevicePixelRatio(devicePixelRatioF());
  cache_.insert(page, copy);
  cacheOrder_.erase(std::remove(cacheOrder_.begin(), cacheOrder_.end(), page), cacheOrder_.end());
  cacheOrder_.push_back(page);
  while (static_cast<int>(cacheOrder_.size()) > kCachedPages) {
    cache_.remove(cacheOrder_.front());
    cacheOrder_.erase(cacheOrder_.begin());
  }
  viewport()->update(pageRectInView(page).toAlignedRect());
  emit pageDrawn(page);
}

NonSelectablePDFView::~NonSelectablePDFView() = default;

namespace {

// The page as the renderer draws it: the crop box, turned. Nothing when the
// crop box reaches outside the media box, where renderers differ in how
// they clip it.
std::optional<QSizeF> shownSize(const core::document::PDFPage& page) {
  const Rect& c = page.cropBox;
  const Rect& m = page.mediaBox;
  constexpr double slack = 1e-6;
  if (c.width <= 0 || c.height <= 0 || c.x < m.x - slack || c.y < m.y - slack ||
      c.x + c.width > m.x + m.width + slack || c.y + c.height > m.y + m.height + slack)
    return std::nullopt;
  return page.rotation % 180 ? QSizeF(c.height, c.width) : QSizeF(c.width, c.height);
}

}  // namespace

void NonSelectablePDFView::setDocument(QPdfDocument* rendering, const core::document::PDFDocument* structure) {
  rendering_ = rendering;
  useNewRenderer();
  renderer_->setDocument(rendering);
  pages_.clear();
  cache_.clear();
  cacheOrder_.clear();
  requested_.clear();
  overlays_.clear();
  if (rendering && structure) {
    const auto& boxes = structure->allPageBoxes();
    const int n = std::min<int>(rendering->pageCount(), static_cast<int>(boxes.size()));
    pages_.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      PageLayout layout;
      std::optional<QSizeF> shown;
      if (const auto& page = boxes[static_cast<std::size_t>(i)]) {
        layout.crop = page->cropBox;
        layout.rotation = page->rotation;
        shown = shownSize(*page);
      }
      // What the renderer draws; asked only when the boxes leave doubt, as
      // asking costs a lock and a page lookup each, a third of the time to
      // the first page of a long document.
      layout.shown = shown ? *shown : rendering->pagePointSize(i);
      pages_.push_back(layout);
    }
  }
  currentPage_ = -1;
  relayout();
  anchorTop_ = 0;
  verticalScrollBar()->setValue(0);
  updateCurrentPage();
  // The scroll bar the new range calls for comes as a queued call; taken
  // now, the view has its final width before its first pages are asked for.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  requestVisiblePages();
}

void NonSelectablePDFView::requestVisiblePages() {
  // Asked before the window's next paint, so the renderer's thread draws the
  // first pages while this one lays the screen out; at the size the paint
  // will want when the view already has its final size, else redrawn then.
  if (!isVisible() || viewport()->width() <= 0) return;
  for (int page : visiblePages())
    if (!cache_.contains(page)) requestRender(page, renderSize(page));
}

QSize NonSelectablePDFView::renderSize(int page) const {
  return (pages_[static_cast<std::size_t>(page)].shown * scale_ * devicePixelRatioF()).toSize();
}

void NonSelectablePDFView::setAutoScales(bool on) {
  autoScales_ = on;
  relayout();
}

void NonSelectablePDFView::setScaleFactor(double scale) {
  autoScales_ = false;
  scale_ = std::clamp(scale, minScaleFactor, maxScaleFactor);
  relayout();
}

void NonSelectablePDFView::relayout() {
  double top = kPageBreak;
  maxWidth_ = 0;
  for (auto& p : pages_) {
    p.top = top;
    top += p.shown.height() + kPageBreak;
    maxWidth_ = std::max(maxWidth_, p.shown.width());
  }
  contentHeight_ = pages_.empty() ? 0 : top;
  if (autoScales_ && maxWidth_ > 0) {
    // The breaks at the sides scale with the pages.
    const double fit = viewport()->width() / (maxWidth_ + 2 * kPageBreak);
    const double scale = std::clamp(fit, minScaleFactor, maxScaleFactor);
    if (scale != scale_) {
      scale_ = scale;
      cache_.clear();
      cacheOrder_.clear();
    }
  }
  const int contentW = static_cast<int>((maxWidth_ + 2 * kPageBreak) * scale_);
  const int contentH = static_cast<int>(contentHeight_ * scale_);
  verticalScrollBar()->setRange(0, std::max(0, contentH - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  verticalScrollBar()->setSingleStep(20);
  horizontalScrollBar()->setRange(0, std::max(0, contentW - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  // Keep showing the same place of the document at the new size.
  relayingOut_ = true;
  verticalScrollBar()->setValue(static_cast<int>(anchorTop_ * scale_));
  relayingOut_ = false;
  viewport()->update();
}

void NonSelectablePDFView::scrollToTop(double pixels) {
  // Remembered in points: a target beyond today's range (the view not yet
  // at its size) is reached once the layout allows it.
  anchorTop_ = std::max(0.0, pixels / scale_);
  relayingOut_ = true;
  verticalScrollBar()->setValue(static_cast<int>(pixels));
  relayingOut_ = false;
}

QRectF NonSelectablePDFView::pageRectInView(int page) const {
  const auto& p = pages_[static_cast<std::size_t>(page)];
  const double w = p.shown.width() * scale_, h = p.shown.height() * scale_;
  const double contentW = (maxWidth_ + 2 * kPageBreak) * scale_;
  const double x = (std::max<double>(contentW, viewport()->width()) - w) / 2 - horizontalScrollBar()->value();
  return QRectF(x, p.top * scale_ - verticalScrollBar()->value(), w, h);
}

std::vector<int> NonSelectablePDFView::visiblePages() const {
  std::vector<int> out;
  if (pages_.empty()) return out;
  const double top = verticalScrollBar()->value() / scale_, bottom = top + viewport()->height() / scale_;
  // First page whose bottom is below the top of the view.
  auto it = std::lower_bound(pages_.begin(), pages_.end(), top,
                             [](const PageLayout& p, double y) { return p.top + p.shown.height() < y; });
  for (; it != pages_.end() && it->top <= bottom; ++it) out.push_back(static_cast<int>(it - pages_.begin()));
  return out;
}

void NonSelectablePDFView::requestRender(int page, QSize size) {
  if (requested_.value(page) == size) return;
  requested_.insert(page, size);
  renderer_->requestPage(page, size);
}

void NonSelectablePDFView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), QColor(0xE5, 0xE5, 0xEA));
  for (int page : visiblePages()) {
    const QRectF r = pageRectInView(page);
    const auto cached = cache_.constFind(page);
    const QSize want = renderSize(page);
    painter.fillRect(r, Qt::white);  // the renderer leaves the paper transparent
    if (cached != cache_.constEnd() && cached->size() == want)
      painter.drawImage(r.topLeft(), *cached);
    else
      requestRender(page, want);
    const auto overlays = overlays_.constFind(page);
    if (overlays != overlays_.constEnd()) {
      painter.save();
      painter.setClipRect(r);
      const QTransform t = pageToViewTransform(page);
      for (const auto& o : *overlays) o->draw(painter, t);
      painter.restore();
    }
  }
  if (hasFocus()) {
    // The keyboard's ring: the accent, 5.8:1 on the grey, 7.3:1 on a page.
    painter.setPen(QPen(QColor(0x00, 0x57, 0xA2), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(viewport()->rect()).adjusted(1.5, 1.5, -1.5, -1.5));
  }
}

void NonSelectablePDFView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void NonSelectablePDFView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void NonSelectablePDFView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  relayout();
  updateCurrentPage();
}

void NonSelectablePDFView::scrollContentsBy(int, int) {
  if (!relayingOut_) anchorTop_ = verticalScrollBar()->value() / scale_;
  viewport()->update();
  updateCurrentPage();
}

void NonSelectablePDFView::updateCurrentPage() {
  int page = -1;
  if (!pages_.empty()) {
    // The page under the middle of the view, else the nearest one; at the
    // end of the scroll range the one at the bottom, so the last page can
    // become current even when it is shorter than the view.
    const auto* bar = verticalScrollBar();
    const bool atEnd = bar->maximum() > 0 && bar->value() >= bar->maximum();
    page = pageForPoint(
        QPointF(viewport()->width() / 2.0, atEnd ? viewport()->height() - 1.0 : viewport()->height() / 2.0), true);
  }
  if (page != currentPage_) {
    currentPage_ = page;
    emit pageChanged(page);
  }
}

int NonSelectablePDFView::pageForPoint(const QPointF& viewPoint, bool nearest) const {
  if (pages_.empty()) return -1;
  const double y = (viewPoint.y() + verticalScrollBar()->value()) / scale_;
  auto it = std::lower_bound(pages_.begin(), pages_.end(), y,
                             [](const PageLayout& p, double v) { return p.top + p.shown.height() < v; });
  if (it == pages_.end()) return nearest ? pageCount() - 1 : -1;
  const int page = static_cast<int>(it - pages_.begin());
  if (nearest) return page;
  return pageRectInView(page).contains(viewPoint) ? page : -1;
}

QPointF NonSelectablePDFView::convertToPage(const QPointF& viewPoint, int page) const {
  if (page < 0 || page >= pageCount()) return {};
  const auto& p = pages_[static_cast<std::size_t>(page)];
  const QPointF shown = (viewPoint - pageRectInView(page).topLeft()) / scale_;
  const auto back = core::document::shownToPage(toGeo(shown), p.crop, p.rotation);
  return {back.x, back.y};
}

QPointF NonSelectablePDFView::convertFromPage(const QPointF& pagePoint, int page) const {
  if (page < 0 || page >= pageCount()) return {};
  const auto& p = pages_[static_cast<std::size_t>(page)];
  const auto s = core::document::pageToShown(toGeo(pagePoint), p.crop, p.rotation);
  return pageRectInView(page).topLeft() + QPointF(s.x, s.y) * scale_;
}

QRectF NonSelectablePDFView::convertRectFromPage(const QRectF& r, int page) const {
  return QRectF(convertFromPage(r.topLeft(), page), convertFromPage(r.bottomRight(), page)).normalized();
}

int NonSelectablePDFView::pageRotation(int page) const {
  return page >= 0 && page < pageCount() ? pages_[static_cast<std::size_t>(page)].rotation : 0;
}

Rect NonSelectablePDFView::pageCropBox(int page) const {
  return page >= 0 && page < pageCount() ? pages_[static_cast<std::size_t>(page)].crop : Rect{};
}

QTransform NonSelectablePDFView::pageToViewTransform(int page) const {
  const QPointF o = convertFromPage({0, 0}, page), ex = convertFromPage({1, 0}, page) - o,
                ey = convertFromPage({0, 1}, page) - o;
  return QTransform(ex.x(), ex.y(), ey.x(), ey.y(), o.x(), o.y());
}

void NonSelectablePDFView::goToPage(int page) {
  if (page < 0 || page >= pageCount()) return;
  scrollToTop((pages_[static_cast<std::size_t>(page)].top - kPageBreak) * scale_);
  updateCurrentPage();
}

void NonSelectablePDFView::goToRect(const QRectF& pageRect, int page) {
  if (page < 0 || page >= pageCount()) return;
  const QRectF inView = convertRectFromPage(pageRect, page);
  const double contentY = inView.center().y() + verticalScrollBar()->value();
  scrollToTop(contentY - viewport()->height() / 2.0);
  const double contentX = inView.center().x() + horizontalScrollBar()->value();
  horizontalScrollBar()->setValue(static_cast<int>(contentX - viewport()->width() / 2.0));
  updateCurrentPage();
}

QPoint NonSelectablePDFView::scrollOffset() const {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void NonSelectablePDFView::setScrollOffset(const QPoint& offset) {
  horizontalScrollBar()->setValue(offset.x());
  scrollToTop(offset.y());
  updateCurrentPage();
}

void NonSelectablePDFView::setDraggableHitTest(std::function<bool(const QPointF& viewPoint)> test) {
  touch_->startsOnDraggable = std::move(test);
}

void NonSelectablePDFView::setOverlays(int page, const std::vector<std::shared_ptr<PageOverlay>>& overlays) {
  overlays_.insert(page, overlays);
  viewport()->update();
}

const std::vector<std::shared_ptr<PageOverlay>>& NonSelectablePDFView::overlays(int page) const {
  static const std::vector<std::shared_ptr<PageOverlay>> none;
  const auto it = overlays_.constFind(page);
  return it == overlays_.constEnd() ? none : *it;
}

void NonSelectablePDFView::clearOverlays() {
  overlays_.clear();
  viewport()->update();
}

void NonSelectablePDFView::waitForVisiblePages(int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < timeoutMs) {
    viewport()->repaint();
    bool all = true;
    for (int page : visiblePages())
      if (!cache_.contains(page)) all = false;
    if (all) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

}  // namespace penvora::qt::document
