#include "qt/capture/Canvas.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTabletEvent>
#include <chrono>

#include "qt/capture/ProgressBar.hpp"
#include "qt/ui/QtColor.hpp"

namespace penvora::qt::capture {

Canvas::Coordinator::Coordinator(ProgressBar& progressBar, int pointsToCompleteProgressBar)
    : progressBar_(progressBar), pointsToCompleteProgressBar_(pointsToCompleteProgressBar) {}

void Canvas::Coordinator::canvasViewDrawingDidChange(const Canvas& canvas) {
  const float value = core::capture::progressValue(canvas.pointCount(), pointsToCompleteProgressBar_);
  progressBar_.setValue(value);
  progressBar_.setColor(levelColor(core::capture::progressLevel(value)));
}

QColor Canvas::inkColor(bool darkColorScheme, const QString& pencilColorHex) {
  if (darkColorScheme && pencilColorHex == QLatin1String("#000000")) return Qt::white;
  return ui::colorFromHex(pencilColorHex);
}

QColor Canvas::levelColor(core::capture::ProgressLevel level) {
  switch (level) {
    case core::capture::ProgressLevel::red:
      return QColor(0xFF, 0x3B, 0x30);
    case core::capture::ProgressLevel::orange:
      return QColor(0xFF, 0x95, 0x00);
    case core::capture::ProgressLevel::green:
      return QColor(0x34, 0xC7, 0x59);
  }
  return {};
}

Canvas::Canvas(bool darkColorScheme, const QString& pencilColorHex, double pencilWidth, QWidget* parent)
    : QWidget(parent), ink_(inkColor(darkColorScheme, pencilColorHex)), pencilWidth_(pencilWidth) {
  setAttribute(Qt::WA_AcceptTouchEvents, false);  // touches arrive as mouse events
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  setCursor(Qt::CrossCursor);
}

std::size_t Canvas::pointCount() const {
  std::size_t n = 0;
  for (const auto& s : strokes_) n += s.points.size();
  return n;
}

void Canvas::clearDrawing() {
  strokes_.clear();
  drawnOn_ = QSizeF();
  drawing_ = false;
  inkImage_.fill(Qt::transparent);
  update();
  emit drawingDidChange();
}

double Canvas::nowMs() const {
  using namespace std::chrono;
  return static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

double Canvas::offsetSeconds(quint64 timestamp) const {
  if (timestamp != 0 && strokeStartTimestamp_ != 0 && timestamp >= strokeStartTimestamp_)
    return static_cast<double>(timestamp - strokeStartTimestamp_) / 1000.0;
  return static_cast<double>(strokeTimer_.nsecsElapsed()) / 1e9;
}

void Canvas::paintStroke(QPainter& painter, const core::capture::CapturedStroke& stroke) const {
  if (stroke.points.empty()) return;
  if (stroke.points.size() == 1) {
    const auto& p = stroke.points.front();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink_);
    painter.drawEllipse(QPointF(p.x, p.y), pencilWidth_ / 2, pencilWidth_ / 2);
    return;
  }
  QPainterPath path(QPointF(stroke.points.front().x, stroke.points.front().y));
  for (std::size_t i = 1; i < stroke.points.size(); ++i) path.lineTo(stroke.points[i].x, stroke.points[i].y);
  painter.setPen(QPen(ink_, pencilWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
}

QImage Canvas::renderDrawing(qreal scale) const {
  // A panel made smaller after drawing must not cut the signature that is
  // handed on, nor may a stroke run past the canvas add ink nobody saw.
  const QRectF area(QPointF(0, 0), drawnOn_.expandedTo(QSizeF(size())));
  QImage image((area.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  for (const auto& s : strokes_) paintStroke(painter, s);
  return image;
}

void Canvas::rebuildInk() {
  // The retained ink covers the canvas alone, from its corner.
  const qreal scale = devicePixelRatioF();
  inkImage_ = QImage((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  inkImage_.setDevicePixelRatio(scale);
  inkImage_.fill(Qt::transparent);
  QPainter painter(&inkImage_);
  painter.setRenderHint(QPainter::Antialiasing);
  for (const auto& s : strokes_) paintStroke(painter, s);
}

void Canvas::resizeEvent(QResizeEvent*) { rebuildInk(); }

void Canvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::white);
  painter.drawImage(QPointF(0, 0), inkImage_);
  if (hasFocus()) {
    // The keyboard's ring, dark on the white area (17:1).
    painter.setPen(QPen(QColor(0x1C, 0x1C, 0x1E), 3));
    painter.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
  }
}

void Canvas::begin(const QPointF& p, quint64 timestamp, double pressure) {
  drawing_ = true;
  drawnOn_ = drawnOn_.expandedTo(QSizeF(size()));
  strokeStartTimestamp_ = timestamp;
  strokeTimer_.start();
  strokes_.push_back(
      core::capture::CapturedStroke{nowMs(), {core::capture::CapturedPoint{p.x(), p.y(), 0.0, pressure}}});
  if (inkImage_.size() != (QSizeF(size()) * devicePixelRatioF()).toSize()) rebuildInk();
  QPainter painter(&inkImage_);
  painter.setRenderHint(QPainter::Antialiasing);
  paintStroke(painter, strokes_.back());
  const double r = pencilWidth_ / 2 + 2;
  update(QRectF(p.x() - r, p.y() - r, 2 * r, 2 * r).toAlignedRect());
  emit drawingDidChange();
}

void Canvas::extend(const QPointF& p, quint64 timestamp, double pressure) {
  if (!drawing_) return;
  auto& points = strokes_.back().points;
  const QPointF last(points.back().x, points.back().y);
  points.push_back(core::capture::CapturedPoint{p.x(), p.y(), offsetSeconds(timestamp), pressure});
  // Only the new segment is drawn into the retained ink.
  QPainter painter(&inkImage_);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(ink_, pencilWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawLine(last, p);
  const double r = pencilWidth_ / 2 + 2;
  update(QRectF(last, p).normalized().adjusted(-r, -r, r, r).toAlignedRect());
  emit drawingDidChange();
}

void Canvas::end(const QPointF& p, quint64 timestamp, double pressure) {
  if (!drawing_) return;
  const auto& last = strokes_.back().points.back();
  if (p.x() != last.x || p.y() != last.y) extend(p, timestamp, pressure);
  drawing_ = false;
}

void Canvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) begin(event->position(), event->timestamp());
}

void Canvas::mouseMoveEvent(QMouseEvent* event) { extend(event->position(), event->timestamp()); }

void Canvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) end(event->position(), event->timestamp());
}

void Canvas::tabletEvent(QTabletEvent* event) {
  // Accepted, so no mouse copy of the pen follows.
  switch (event->type()) {
    case QEvent::TabletPress:
      begin(event->position(), event->timestamp(), event->pressure());
      break;
    case QEvent::TabletMove:
      extend(event->position(), event->timestamp(), event->pressure());
      break;
    case QEvent::TabletRelease:
      // The pen has left the surface: its last pressure is the one before.
      end(event->position(), event->timestamp(),
          strokes_.empty() || strokes_.back().points.empty() ? 0.0 : strokes_.back().points.back().pressure);
      break;
    default:
      break;
  }
  event->accept();
}

}  // namespace penvora::qt::capture
