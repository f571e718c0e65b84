#pragma once
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "penvora/Export.hpp"

namespace penvora {

// The ink and the trace behind a signature pad, without a view: it turns
// press, move and release into taps and pans, draws the variable-width
// line into a retained bitmap, reports the sampled points, and keeps every
// input point with its time and pressure for the biometric record.
// SignatureView draws with it, and so does the SignatureView item of the
// QML module (import Penvora), so both ink alike and give the same record.
class PENVORA_EXPORT SignatureInk {
 public:
  enum class PanPhase { began, changed, ended, cancelled };

  // What the owner hears; every member may be empty.
  struct Listener {
    std::function<void()> tapped;  // a tap was drawn
    std::function<void()> panned;  // a pan event was processed (any phase)
    // A sampled point (pad coordinates, y down) and its time in
    // milliseconds since the first touch.
    std::function<void(const QPointF&, std::int64_t)> pointCaptured;
    std::function<void(const QRectF&)> inked;  // the area new ink covers
  };

  // The facts of the biometric record that the pad cannot know itself.
  struct RecordFacts {
    QSizeF screen;             // the screen the pad is on, points
    QRectF frame;              // the pad in its window, points
    std::string documentPath;  // digested into SOFTWARE
    std::string hostVersion;   // the host application's short version
    bool penPressure = false;  // the record carries the pen's pressure
  };

  // `clock`: milliseconds since 1970; the system clock when empty.
  explicit SignatureInk(std::function<std::int64_t()> clock = {});
  ~SignatureInk();
  SignatureInk(const SignatureInk&) = delete;
  SignatureInk& operator=(const SignatureInk&) = delete;

  void setListener(Listener listener);

  // Kept only when above 0 and not below the minimum.
  double maximumStrokeWidth() const;
  void setMaximumStrokeWidth(double width);
  // Kept only when above 0 and not above the maximum.
  double minimumStrokeWidth() const;
  void setMinimumStrokeWidth(double width);
  QColor strokeColor() const;
  void setStrokeColor(const QColor& color);
  // Taken only when 0 < alpha <= 1.
  double strokeAlpha() const;
  void setStrokeAlpha(double alpha);

  // The pad's size in points and its device pixels per point; the bitmap
  // follows it, scaling what is drawn.
  void setCanvasSize(const QSizeF& size, qreal devicePixelRatio);
  // Everything drawn so far; none before the first ink or after clear().
  const std::optional<QImage>& signature() const;
  // Drops the drawing and the trace. The time origin and the last width
  // stay.
  void clear();

  // Raw input. `pressure` is 0..1 as a pen reports it; 1 for mouse and
  // touch. A press that moves less than a few points is a tap.
  void press(const QPointF& location, double pressure = 1);
  void move(const QPointF& location, double pressure = 1);
  void release(const QPointF& location, double pressure = 1);
  // The gestures raw input leads to, for a host with its own recogniser.
  void tap(const QPointF& location);
  void pan(PanPhase phase, const QPointF& location);

  QPointF previousPoint() const;
  QPointF previousEndPoint() const;
  double previousWidth() const;
  std::int64_t startTime() const;

  // Input points kept for the record since the last clear().
  std::size_t pointCount() const;
  // The biometric record of the trace, base64 of its text: what a request
  // carries as pointsB64. Empty when nothing was drawn.
  std::string record(const RecordFacts& facts) const;

 private:
  struct State;
  std::unique_ptr<State> d_;
};

}  // namespace penvora
