#include "qt/document/ViewerTouchNavigation.hpp"

#include <QApplication>
#include <QScrollBar>
#include <QTabletEvent>
#include <QTouchEvent>
#include <cmath>

#include "qt/document/NonSelectablePDFView.hpp"

namespace penvora::qt::document {
namespace {

constexpr int kFrameMs = 16;
constexpr double kFriction = 0.95;  // speed kept per frame of momentum
constexpr int kDoubleTapMs = 350;
constexpr double kDoubleTapDistance = 40.0;
constexpr int kTapMs = 250;

double distance(const QPointF& a, const QPointF& b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

}  // namespace

ViewerTouchNavigation::ViewerTouchNavigation(NonSelectablePDFView* view)
    : QObject(view), view_(view), viewport_(view->viewport()) {
  view->viewport()->setAttribute(Qt::WA_AcceptTouchEvents);
  view->viewport()->installEventFilter(this);
  momentum_.setInterval(kFrameMs);
  connect(&momentum_, &QTimer::timeout, this, &ViewerTouchNavigation::momentumStep);
}

bool ViewerTouchNavigation::eventFilter(QObject* watched, QEvent* event) {
  // The viewport remembered, not asked for: while the view is being torn
  // down its viewport still sends events, and the view is no longer one.
  if (watched != viewport_) return false;
  switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
      return touch(static_cast<QTouchEvent*>(event));
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      return pen(static_cast<QTabletEvent*>(event));
    default:
      return false;
  }
}

bool ViewerTouchNavigation::touch(QTouchEvent* event) {
  const auto& points = event->points();
  if (event->type() == QEvent::TouchBegin) {
    momentum_.stop();
    const QPointF at = points.isEmpty() ? QPointF() : points.first().position();
    passedOn_ = startsOnDraggable && startsOnDraggable(at);
    if (passedOn_) {
      event->ignore();  // Qt turns the stroke into mouse input for the screen
      return false;
    }
    start_ = last_ = at;
    strokeClock_.start();
    sampleClock_.start();
    velocity_ = {};
    pinchStartDistance_.reset();
    event->accept();
    return true;
  }
  if (passedOn_) return false;
  if (event->type() == QEvent::TouchCancel) {
    last_.reset();
    pinchStartDistance_.reset();
    return true;
  }
  if (points.size() >= 2) {
    pinch(points[0].position(), points[1].position());
    last_.reset();  // one finger lifted after a pinch starts a new pan
  } else if (!points.isEmpty()) {
    const QPointF at = points.first().position();
    if (event->type() == QEvent::TouchEnd) {
      const bool tap = start_ && distance(*start_, at) < QApplication::startDragDistance() &&
                       strokeClock_.elapsed() < kTapMs && !pinchStartDistance_;
      if (tap)
        tapped(at);
      else
        endPan();
      last_.reset();
      pinchStartDistance_.reset();
    } else if (!pinchStartDistance_) {
      pan(at);
    }
  }
  event->accept();
  return true;
}

bool ViewerTouchNavigation::pen(QTabletEvent* event) {
  // The pen draws only in the capture panel; over the document it pans.
  if (event->type() == QEvent::TabletPress) {
    momentum_.stop();
    passedOn_ = startsOnDraggable && startsOnDraggable(event->position());
    if (passedOn_) return false;  // unaccepted: it arrives as mouse input
    last_ = event->position();
    sampleClock_.start();
    velocity_ = {};
  } else if (passedOn_) {
    return false;
  } else if (event->type() == QEvent::TabletMove) {
    if (last_) pan(event->position());
  } else {
    endPan();
    last_.reset();
  }
  event->accept();
  return true;
}

void ViewerTouchNavigation::pan(const QPointF& to) {
  if (!last_) {
    last_ = to;
    sampleClock_.restart();
    return;
  }
  const QPointF delta = to - *last_;
  last_ = to;
  const qint64 ms = std::max<qint64>(1, sampleClock_.restart());
  velocity_ = 0.6 * velocity_ + 0.4 * (delta * (1000.0 / static_cast<double>(ms)));
  const QPoint offset = view_->scrollOffset();
  view_->setScrollOffset(QPoint(offset.x() - static_cast<int>(std::lround(delta.x())),
                                offset.y() - static_cast<int>(std::lround(delta.y()))));
}

void ViewerTouchNavigation::endPan() {
  // A finger that stopped before lifting leaves the page where it is.
  if (sampleClock_.isValid() && sampleClock_.elapsed() > 100) velocity_ = {};
  if (std::hypot(velocity_.x(), velocity_.y()) >= kMinimumFlickSpeed) momentum_.start();
}

void ViewerTouchNavigation::momentumStep() {
  velocity_ *= kFriction;
  const QPoint before = view_->scrollOffset();
  const QPointF step = velocity_ * (kFrameMs / 1000.0);
  view_->setScrollOffset(QPoint(before.x() - static_cast<int>(std::lround(step.x())),
                                before.y() - static_cast<int>(std::lround(step.y()))));
  // Stop when slow, or against the end of the range.
  if (std::hypot(velocity_.x(), velocity_.y()) < kMinimumFlickSpeed / 3 || view_->scrollOffset() == before)
    momentum_.stop();
}

void ViewerTouchNavigation::pinch(const QPointF& a, const QPointF& b) {
  const double d = std::max(1.0, distance(a, b));
  if (!pinchStartDistance_) {
    pinchStartDistance_ = d;
    pinchStartScale_ = view_->scaleFactor();
    return;
  }
  // The document point under the fingers' midpoint stays under it.
  const QPointF mid = (a + b) / 2;
  const double before = view_->scaleFactor();
  const QPoint offset = view_->scrollOffset();
  view_->setScaleFactor(pinchStartScale_ * d / *pinchStartDistance_);
  const double k = view_->scaleFactor() / before;
  view_->setScrollOffset(QPoint(static_cast<int>(std::lround((offset.x() + mid.x()) * k - mid.x())),
                                static_cast<int>(std::lround((offset.y() + mid.y()) * k - mid.y()))));
}

void ViewerTouchNavigation::tapped(const QPointF& at) {
  if (lastTap_.isValid() && lastTap_.elapsed() < kDoubleTapMs && distance(lastTapAt_, at) < kDoubleTapDistance) {
    view_->setAutoScales(true);  // back to the width of the view
    lastTap_.invalidate();
    return;
  }
  lastTap_.start();
  lastTapAt_ = at;
}

}  // namespace penvora::qt::document
