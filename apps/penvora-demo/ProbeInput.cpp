#include "ProbeInput.hpp"

#include <qpa/qwindowsysteminterface.h>
#include <QGuiApplication>
#include <QPointingDevice>
#include <QScreen>
#include <sstream>
#include <utility>

namespace penvora::demo {
namespace {

constexpr int kFrameMs = 16;  // a touch screen reports at about 60 Hz

int framesFor(int ms) { return std::max(2, ms / kFrameMs); }

QPointF along(const std::vector<QPointF>& points, double t) {
  if (points.size() == 1) return points.front();
  const double at = t * static_cast<double>(points.size() - 1);
  const auto i = std::min(points.size() - 2, static_cast<std::size_t>(at));
  const double f = at - static_cast<double>(i);
  return points[i] + (points[i + 1] - points[i]) * f;
}

}  // namespace

ProbeInput::ProbeInput(QObject* parent)
    : QObject(parent),
      touchScreen_(new QPointingDevice(QStringLiteral("probe touch screen"), 7101,
                                       QInputDevice::DeviceType::TouchScreen, QPointingDevice::PointerType::Finger,
                                       QInputDevice::Capability::Position | QInputDevice::Capability::Area |
                                           QInputDevice::Capability::NormalizedPosition,
                                       10, 0, {}, {}, this)),
      pen_(new QPointingDevice(
          QStringLiteral("probe pen"), 7102, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
          QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3, {}, {}, this)) {
  QWindowSystemInterface::registerInputDevice(touchScreen_);
  QWindowSystemInterface::registerInputDevice(pen_);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &ProbeInput::playNext);
}

bool ProbeInput::start(const std::string& line, QWindow* window) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  std::vector<double> n;
  for (double v; in >> v;) n.push_back(v);
  auto points = [&](std::size_t from) {
    std::vector<QPointF> out;
    for (std::size_t i = from; i + 1 < n.size(); i += 2) out.emplace_back(n[i], n[i + 1]);
    return out;
  };
  if (!window || busy()) return false;
  window_ = window;
  if (verb == "touch" && n.size() >= 3)
    touchPoints(points(1), static_cast<int>(n[0]));
  else if (verb == "pen" && n.size() >= 3)
    penPoints(points(1), static_cast<int>(n[0]));
  else if (verb == "pinch" && n.size() == 5)
    pinch(QPointF(n[1], n[2]), n[3], n[4], static_cast<int>(n[0]));
  else if (verb == "tap" && n.size() == 2)
    touchPoints(points(0), 60);
  else
    return false;
  playNext();
  return true;
}

void ProbeInput::sendTouch(const std::vector<std::pair<QPointF, int>>& fingers, int state) {
  if (!window_) return;
  const QSizeF screen = window_->screen() ? QSizeF(window_->screen()->geometry().size()) : QSizeF(1, 1);
  QList<QWindowSystemInterface::TouchPoint> points;
  for (const auto& [at, id] : fingers) {
    QWindowSystemInterface::TouchPoint p;
    p.id = id;
    p.state = static_cast<QEventPoint::State>(state);
    p.area = QRectF(at - QPointF(4, 4), QSizeF(8, 8));  // its centre is the finger's place
    p.normalPosition = QPointF(at.x() / screen.width(), at.y() / screen.height());
    p.pressure = state == QEventPoint::State::Released ? 0 : 1;
    points.append(p);
  }
  QWindowSystemInterface::handleTouchEvent(window_, touchScreen_, points);
}

void ProbeInput::touchPoints(const std::vector<QPointF>& points, int ms) {
  const int frames = framesFor(ms);
  steps_.push_back({0, [=, this] { sendTouch({{points.front(), 0}}, int(QEventPoint::State::Pressed)); }});
  for (int f = 1; f <= frames; ++f) {
    const QPointF at = along(points, double(f) / frames);
    steps_.push_back({kFrameMs, [=, this] { sendTouch({{at, 0}}, int(QEventPoint::State::Updated)); }});
  }
  steps_.push_back({kFrameMs, [=, this] { sendTouch({{points.back(), 0}}, int(QEventPoint::State::Released)); }});
}

void ProbeInput::pinch(QPointF centre, double from, double to, int ms) {
  auto fingers = [centre](double apart) {
    return std::vector<std::pair<QPointF, int>>{{centre - QPointF(apart / 2, 0), 0},
                                                {centre + QPointF(apart / 2, 0), 1}};
  };
  const int frames = framesFor(ms);
  steps_.push_back({0, [=, this] { sendTouch(fingers(from), int(QEventPoint::State::Pressed)); }});
  for (int f = 1; f <= frames; ++f) {
    const double apart = from + (to - from) * f / frames;
    steps_.push_back({kFrameMs, [=, this] { sendTouch(fingers(apart), int(QEventPoint::State::Updated)); }});
  }
  steps_.push_back({kFrameMs, [=, this] { sendTouch(fingers(to), int(QEventPoint::State::Released)); }});
}

void ProbeInput::penPoints(const std::vector<QPointF>& points, int ms) {
  auto send = [this](QPointF at, Qt::MouseButtons buttons, qreal pressure) {
    if (!window_) return;
    const QPointF local = at - QPointF(window_->mapToGlobal(QPoint(0, 0)));
    QWindowSystemInterface::handleTabletEvent(window_, pen_, local, at, buttons, pressure, 0, 0, 0, 0, 0);
  };
  const int frames = framesFor(ms);
  steps_.push_back({0, [=, this] { send(points.front(), Qt::LeftButton, 0.4); }});
  for (int f = 1; f <= frames; ++f) {
    const QPointF at = along(points, double(f) / frames);
    steps_.push_back({kFrameMs, [=, this] { send(at, Qt::LeftButton, 0.4 + 0.4 * f / frames); }});
  }
  steps_.push_back({kFrameMs, [=, this] { send(points.back(), Qt::NoButton, 0); }});
}

void ProbeInput::playNext() {
  while (!steps_.empty()) {
    if (steps_.front().delayMs > 0) {
      // Wait out the step's delay, then send it.
      timer_.start(std::exchange(steps_.front().delayMs, 0));
      return;
    }
    const auto send = std::move(steps_.front().send);
    steps_.pop_front();
    send();
  }
}

}  // namespace penvora::demo
