#include "penvora/SignatureInk.hpp"

#include <QPainter>
#include <QPainterPath>
#include <chrono>
#include <vector>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/capture/StrokeGeometry.hpp"

namespace penvora {
namespace {

// Movement from the press point that turns a touch into a pan.
constexpr double kPanSlop = 3.0;

core::capture::Point toStroke(const QPointF& p) { return {p.x(), p.y()}; }
QPointF toQt(core::capture::Point p) { return {p.x, p.y}; }

std::int64_t systemMs() {
  using namespace std::chrono;
  const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return static_cast<std::int64_t>(seconds * 1000.0);
}

std::chrono::system_clock::time_point fromMs(std::int64_t ms) {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
}

}  // namespace

struct SignatureInk::State {
  std::function<std::int64_t()> clock;
  Listener listener;
  double maximumStrokeWidth = 4.0;
  double minimumStrokeWidth = 1.0;
  QColor strokeColor = Qt::black;
  double strokeAlpha = 1.0;
  QSizeF canvasSize{1, 1};
  qreal scale = 1.0;
  std::optional<QImage> signature;
  QPointF previousPoint, previousEndPoint;
  double previousWidth = 0.0;
  std::int64_t startTime = 0;
  // Press and slop tracking that turns raw input into tap and pan.
  bool pressed = false, panning = false;
  QPointF pressPoint;
  // The trace: every input point, strokes from press to release.
  std::vector<core::capture::CapturedStroke> strokes;
  std::int64_t firstInputMs = 0;

  std::int64_t elapsed() {
    const std::int64_t t = clock();
    if (startTime == 0) startTime = t;
    return t - startTime;
  }

  QColor ink() const {
    QColor c = strokeColor;
    c.setAlphaF(static_cast<float>(strokeAlpha));
    return c;
  }

  QImage& bitmap() {
    // New ink goes straight into the retained bitmap; it is re-made only
    // when the pad's size or scale changes (the old drawing scaled into it).
    const QSize pixels = (canvasSize * scale).toSize().expandedTo(QSize(1, 1));
    if (!signature || signature->size() != pixels) {
      QImage fresh(pixels, QImage::Format_ARGB32_Premultiplied);
      fresh.setDevicePixelRatio(scale);
      fresh.fill(Qt::transparent);
      if (signature) {
        QPainter p(&fresh);
        p.drawImage(QRectF(QPointF(0, 0), canvasSize), *signature);
      }
      signature = std::move(fresh);
    }
    return *signature;
  }

  void report(const QPointF& p, std::int64_t t) {
    if (listener.pointCaptured) listener.pointCaptured(p, t);
  }

  void trace(const QPointF& p, double pressure, bool beginsStroke) {
    const std::int64_t now = clock();
    if (beginsStroke || strokes.empty()) {
      if (strokes.empty()) firstInputMs = now;
      strokes.push_back({static_cast<double>(now), {}});
    }
    auto& stroke = strokes.back();
    stroke.points.push_back({p.x(), p.y(), (static_cast<double>(now) - stroke.creationTimeMs) / 1000.0, pressure});
  }
};

SignatureInk::SignatureInk(std::function<std::int64_t()> clock) : d_(std::make_unique<State>()) {
  d_->clock = clock ? std::move(clock) : std::function<std::int64_t()>(systemMs);
}

SignatureInk::~SignatureInk() = default;

void SignatureInk::setListener(Listener listener) { d_->listener = std::move(listener); }

double SignatureInk::maximumStrokeWidth() const { return d_->maximumStrokeWidth; }
void SignatureInk::setMaximumStrokeWidth(double width) {
  if (width > 0 && !(width < d_->minimumStrokeWidth)) d_->maximumStrokeWidth = width;
}
double SignatureInk::minimumStrokeWidth() const { return d_->minimumStrokeWidth; }
void SignatureInk::setMinimumStrokeWidth(double width) {
  if (width > 0 && !(width > d_->maximumStrokeWidth)) d_->minimumStrokeWidth = width;
}
QColor SignatureInk::strokeColor() const { return d_->strokeColor; }
void SignatureInk::setStrokeColor(const QColor& color) { d_->strokeColor = color; }
double SignatureInk::strokeAlpha() const { return d_->strokeAlpha; }
void SignatureInk::setStrokeAlpha(double alpha) {
  if (alpha > 0 && alpha <= 1) d_->strokeAlpha = alpha;
}

void SignatureInk::setCanvasSize(const QSizeF& size, qreal devicePixelRatio) {
  d_->canvasSize = size;
  d_->scale = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
}

const std::optional<QImage>& SignatureInk::signature() const { return d_->signature; }

void SignatureInk::clear() {
  d_->signature.reset();
  d_->strokes.clear();
}

QPointF SignatureInk::previousPoint() const { return d_->previousPoint; }
QPointF SignatureInk::previousEndPoint() const { return d_->previousEndPoint; }
double SignatureInk::previousWidth() const { return d_->previousWidth; }
std::int64_t SignatureInk::startTime() const { return d_->startTime; }

void SignatureInk::tap(const QPointF& location) {
  {
    QPainter p(&d_->bitmap());
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(d_->ink(), core::capture::kTapDotWidth, Qt::SolidLine, Qt::RoundCap));
    p.drawPoint(location);
  }
  d_->report(location, d_->elapsed());
  if (d_->listener.inked) d_->listener.inked(QRectF(QPointF(0, 0), d_->canvasSize));
  if (d_->listener.tapped) d_->listener.tapped();
}

void SignatureInk::pan(PanPhase phase, const QPointF& location) {
  State& s = *d_;
  s.report(location, s.elapsed());

  if (phase == PanPhase::began) {
    s.previousPoint = s.previousEndPoint = location;
  } else if (phase == PanPhase::changed) {
    const core::capture::Point c = toStroke(location), p = toStroke(s.previousPoint);
    const double d = core::capture::distance(p, c);
    if (d >= core::capture::kMinimumStep) {
      const double w0 = s.previousWidth;
      const double w1 = core::capture::nextWidth(w0, d, s.minimumStrokeWidth, s.maximumStrokeWidth);
      const core::capture::Point m{(c.x + p.x) * 0.5, (c.y + p.y) * 0.5};
      const core::capture::Point e = toStroke(s.previousEndPoint);
      // The drawing step runs for every such event: the first one of a
      // stroke draws nothing, yet leaves an (empty) bitmap behind.
      QImage& bitmap = s.bitmap();
      if (e.x != p.x || e.y != p.y) {
        const core::capture::Segment seg = core::capture::ribbon(e, p, m, w0, w1);
        QPainterPath path(toQt(seg.start));
        path.quadTo(toQt(seg.control1), toQt(seg.end1));
        path.lineTo(toQt(seg.lineTo));
        path.quadTo(toQt(seg.control2), toQt(seg.end2));
        {
          QPainter painter(&bitmap);
          painter.setRenderHint(QPainter::Antialiasing);
          painter.strokePath(path, QPen(s.ink(), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
          painter.fillPath(path, s.ink());
        }
        s.report(toQt(m), s.elapsed());
        if (s.listener.inked) s.listener.inked(path.boundingRect().adjusted(-2, -2, 2, 2));
      }
      s.previousPoint = location;
      s.previousEndPoint = toQt(m);
      s.previousWidth = w1;
    }
  }
  if (s.listener.panned) s.listener.panned();
}

void SignatureInk::press(const QPointF& location, double pressure) {
  d_->pressed = true;
  d_->panning = false;
  d_->pressPoint = location;
  d_->trace(location, pressure, true);
}

void SignatureInk::move(const QPointF& location, double pressure) {
  State& s = *d_;
  if (!s.pressed) return;
  s.trace(location, pressure, false);
  if (!s.panning) {
    if (core::capture::distance(toStroke(s.pressPoint), toStroke(location)) < kPanSlop) return;
    s.panning = true;
    pan(PanPhase::began, location);
    return;
  }
  pan(PanPhase::changed, location);
}

void SignatureInk::release(const QPointF& location, double pressure) {
  State& s = *d_;
  if (!s.pressed) return;
  s.pressed = false;
  s.trace(location, pressure, false);
  if (s.panning) {
    s.panning = false;
    pan(PanPhase::ended, location);
  } else {
    tap(location);
  }
}

std::size_t SignatureInk::pointCount() const {
  std::size_t n = 0;
  for (const auto& stroke : d_->strokes) n += stroke.points.size();
  return n;
}

std::string SignatureInk::record(const RecordFacts& facts) const {
  if (d_->strokes.empty()) return {};
  core::capture::BiometricRecordInputs in;
  in.screenWidth = facts.screen.width();
  in.screenHeight = facts.screen.height();
  in.canvasFrame = Rect{facts.frame.x(), facts.frame.y(), facts.frame.width(), facts.frame.height()};
  in.timeStart = fromMs(d_->firstInputMs);
  in.timeEnd = fromMs(d_->clock());
  in.documentPath = facts.documentPath;
  in.hostVersion = facts.hostVersion;
  in.strokes = d_->strokes;
  if (facts.penPressure) in.pressureScale = core::capture::BiometricRecordWriter::kPressureScale;
  using core::capture::BiometricRecordWriter;
  return BiometricRecordWriter::encodeRecord(BiometricRecordWriter::buildRecord(in));
}

}  // namespace penvora
