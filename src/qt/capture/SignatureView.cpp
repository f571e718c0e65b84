#include "penvora/SignatureView.hpp"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTabletEvent>
#include <chrono>
#include <memory>

#include "core/capture/StrokeGeometry.hpp"

namespace penvora {
namespace {

// Movement from the press point that turns a touch into a pan.
constexpr double kPanSlop = 3.0;

core::capture::Point toStroke(const QPointF& p) { return {p.x(), p.y()}; }
QPointF toQt(core::capture::Point p) { return {p.x, p.y}; }

}  // namespace

SignatureView::SignatureView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_StaticContents);
  setAttribute(Qt::WA_AcceptTouchEvents, false);  // touches arrive as mouse events
}

SignatureView::SignatureView(const QRect& frame, QWidget* parent) : SignatureView(parent) { setGeometry(frame); }

SignatureView::~SignatureView() = default;

void SignatureView::setMaximumStrokeWidth(double width) {
  if (width > 0 && !(width < minimumStrokeWidth_)) maximumStrokeWidth_ = width;
}

void SignatureView::setMinimumStrokeWidth(double width) {
  if (width > 0 && !(width > maximumStrokeWidth_)) minimumStrokeWidth_ = width;
}

void SignatureView::setStrokeAlpha(double alpha) {
  if (alpha > 0 && alpha <= 1) strokeAlpha_ = alpha;
}

std::optional<QImage> SignatureView::signature() const { return signature_; }

void SignatureView::clear() {
  signature_.reset();
  update();
}

std::int64_t SignatureView::now() const {
  using namespace std::chrono;
  const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return static_cast<std::int64_t>(seconds * 1000.0);
}

std::int64_t SignatureView::elapsed() {
  const std::int64_t t = now();
  if (startTime_ == 0) startTime_ = t;
  return t - startTime_;
}

QImage& SignatureView::bitmap() {
  // New ink goes straight into the retained bitmap; it is re-made only when
  // the view's size or scale changes (the old drawing scaled into it).
  const qreal scale = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
  const QSize pixels = (QSizeF(size()) * scale).toSize().expandedTo(QSize(1, 1));
  if (!signature_ || signature_->size() != pixels) {
    QImage fresh(pixels, QImage::Format_ARGB32_Premultiplied);
    fresh.setDevicePixelRatio(scale);
    fresh.fill(Qt::transparent);
    if (signature_) {
      QPainter p(&fresh);
      p.drawImage(QRectF(QPointF(0, 0), QSizeF(size())), *signature_);
    }
    signature_ = std::move(fresh);
  }
  return *signature_;
}

QPainter* SignatureView::beginInk() {
  auto* painter = new QPainter(&bitmap());
  painter->setRenderHint(QPainter::Antialiasing);
  return painter;
}

void SignatureView::tap(const QPointF& location) {
  {
    std::unique_ptr<QPainter> p(beginInk());
    QColor ink = strokeColor_;
    ink.setAlphaF(static_cast<float>(strokeAlpha_));
    p->setPen(QPen(ink, core::capture::kTapDotWidth, Qt::SolidLine, Qt::RoundCap));
    p->drawPoint(location);
    const std::int64_t t = elapsed();
    if (delegate_) delegate_->signatureViewPointCapture(location, t);
  }
  update();
  if (delegate_) delegate_->swiftSignatureViewDidTapInside(*this);
}

void SignatureView::pan(PanPhase phase, const QPointF& location) {
  const std::int64_t t = elapsed();
  if (delegate_) delegate_->signatureViewPointCapture(location, t);

  if (phase == PanPhase::began) {
    previousPoint_ = previousEndPoint_ = location;
  } else if (phase == PanPhase::changed) {
    const core::capture::Point c = toStroke(location), p = toStroke(previousPoint_);
    const double d = core::capture::distance(p, c);
    if (d >= core::capture::kMinimumStep) {
      const double w0 = previousWidth_;
      const double w1 = core::capture::nextWidth(w0, d, minimumStrokeWidth_, maximumStrokeWidth_);
      const core::capture::Point m{(c.x + p.x) * 0.5, (c.y + p.y) * 0.5};
      const core::capture::Point e = toStroke(previousEndPoint_);
      // The drawing step runs for every such event: the first one of a
      // stroke draws nothing, yet leaves an (empty) bitmap behind.
      bitmap();
      if (e.x != p.x || e.y != p.y) {
        const core::capture::Segment s = core::capture::ribbon(e, p, m, w0, w1);
        QPainterPath path(toQt(s.start));
        path.quadTo(toQt(s.control1), toQt(s.end1));
        path.lineTo(toQt(s.lineTo));
        path.quadTo(toQt(s.control2), toQt(s.end2));
        QColor ink = strokeColor_;
        ink.setAlphaF(static_cast<float>(strokeAlpha_));
        {
          std::unique_ptr<QPainter> painter(beginInk());
          painter->strokePath(path, QPen(ink, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
          painter->fillPath(path, ink);
        }
        const std::int64_t tm = elapsed();
        if (delegate_) delegate_->signatureViewPointCapture(toQt(m), tm);
        // Only the segment's area needs a repaint.
        update(path.boundingRect().adjusted(-2, -2, 2, 2).toAlignedRect());
      }
      previousPoint_ = location;
      previousEndPoint_ = toQt(m);
      previousWidth_ = w1;
    }
  }
  if (delegate_) delegate_->swiftSignatureViewDidPanInside(*this);
}

void SignatureView::paintEvent(QPaintEvent* event) {
  if (!signature_) return;
  QPainter p(this);
  p.setClipRegion(event->region());
  p.drawImage(QRectF(rect()), *signature_);
}

void SignatureView::press(const QPointF& p) {
  pressed_ = true;
  panning_ = false;
  pressPoint_ = p;
}

void SignatureView::move(const QPointF& p) {
  if (!pressed_) return;
  if (!panning_) {
    if (core::capture::distance(toStroke(pressPoint_), toStroke(p)) < kPanSlop) return;
    panning_ = true;
    pan(PanPhase::began, p);
    return;
  }
  pan(PanPhase::changed, p);
}

void SignatureView::release(const QPointF& p) {
  if (!pressed_) return;
  pressed_ = false;
  if (panning_) {
    panning_ = false;
    pan(PanPhase::ended, p);
  } else {
    tap(p);
  }
}

void SignatureView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) press(event->position());
}

void SignatureView::mouseMoveEvent(QMouseEvent* event) { move(event->position()); }

void SignatureView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) release(event->position());
}

void SignatureView::tabletEvent(QTabletEvent* event) {
  // Pen input at the tablet's own rate; accepted so no mouse copy follows.
  switch (event->type()) {
    case QEvent::TabletPress:
      press(event->position());
      break;
    case QEvent::TabletMove:
      move(event->position());
      break;
    case QEvent::TabletRelease:
      release(event->position());
      break;
    default:
      return;
  }
  event->accept();
}

}  // namespace penvora
