#include "penvora/SignatureView.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QTabletEvent>
#include <chrono>

namespace penvora {

SignatureView::SignatureView(QWidget* parent) : QWidget(parent), ink_([this] { return now(); }) {
  setAttribute(Qt::WA_StaticContents);
  setAttribute(Qt::WA_AcceptTouchEvents, false);  // touches arrive as mouse events
  ink_.setListener({
      .tapped =
          [this] {
            if (delegate_) delegate_->swiftSignatureViewDidTapInside(*this);
          },
      .panned =
          [this] {
            if (delegate_) delegate_->swiftSignatureViewDidPanInside(*this);
          },
      .pointCaptured =
          [this](const QPointF& p, std::int64_t t) {
            if (delegate_) delegate_->signatureViewPointCapture(p, t);
          },
      .inked = [this](const QRectF& area) { update(area.toAlignedRect()); },
  });
}

SignatureView::SignatureView(const QRect& frame, QWidget* parent) : SignatureView(parent) { setGeometry(frame); }

SignatureView::~SignatureView() = default;

void SignatureView::setMaximumStrokeWidth(double width) { ink_.setMaximumStrokeWidth(width); }
void SignatureView::setMinimumStrokeWidth(double width) { ink_.setMinimumStrokeWidth(width); }
void SignatureView::setStrokeAlpha(double alpha) { ink_.setStrokeAlpha(alpha); }

std::optional<QImage> SignatureView::signature() const { return ink_.signature(); }

void SignatureView::clear() {
  ink_.clear();
  update();
}

std::int64_t SignatureView::now() const {
  using namespace std::chrono;
  const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return static_cast<std::int64_t>(seconds * 1000.0);
}

void SignatureView::followSize() { ink_.setCanvasSize(QSizeF(size()), devicePixelRatioF()); }

void SignatureView::tap(const QPointF& location) {
  followSize();
  ink_.tap(location);
}

void SignatureView::pan(PanPhase phase, const QPointF& location) {
  followSize();
  ink_.pan(phase, location);
}

void SignatureView::paintEvent(QPaintEvent* event) {
  const auto& signature = ink_.signature();
  if (!signature) return;
  QPainter p(this);
  p.setClipRegion(event->region());
  p.drawImage(QRectF(rect()), *signature);
}

void SignatureView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  followSize();
  ink_.press(event->position());
}

void SignatureView::mouseMoveEvent(QMouseEvent* event) {
  followSize();
  ink_.move(event->position());
}

void SignatureView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  followSize();
  ink_.release(event->position());
}

void SignatureView::tabletEvent(QTabletEvent* event) {
  // Pen input at the tablet's own rate; accepted so no mouse copy follows.
  followSize();
  switch (event->type()) {
    case QEvent::TabletPress:
      ink_.press(event->position(), event->pressure());
      break;
    case QEvent::TabletMove:
      ink_.move(event->position(), event->pressure());
      break;
    case QEvent::TabletRelease:
      ink_.release(event->position(), event->pressure());
      break;
    default:
      return;
  }
  event->accept();
}

}  // namespace penvora
