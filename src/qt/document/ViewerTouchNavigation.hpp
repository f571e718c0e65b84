#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QTimer>
#include <functional>
#include <optional>

class QTouchEvent;
class QTabletEvent;

namespace penvora::qt::document {

class NonSelectablePDFView;

// Touch and pen navigation of the document viewer: one finger (or the pen)
// scrolls, with momentum after a flick; two fingers pinch the scale within
// the viewer's range; a double tap fits the width again. A touch or pen
// stroke that starts on something the screen lets the user drag (the
// signature box and its icons) is left alone, so the screen receives it as
// mouse input and the box follows the finger instead of the page.
class ViewerTouchNavigation : public QObject {
 public:
  explicit ViewerTouchNavigation(NonSelectablePDFView* view);

  // Whether a stroke starting at a viewport point belongs to the screen.
  std::function<bool(const QPointF& viewPoint)> startsOnDraggable;

  // Flick speed (pixels per second) below which the page stops at once.
  static constexpr double kMinimumFlickSpeed = 150.0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool touch(QTouchEvent* event);
  bool pen(QTabletEvent* event);
  void pan(const QPointF& to);
  void endPan();
  void pinch(const QPointF& a, const QPointF& b);
  void tapped(const QPointF& at);
  void momentumStep();

  NonSelectablePDFView* view_;
  QObject* viewport_;
  bool passedOn_ = false;  // this stroke belongs to the screen
  std::optional<QPointF> last_, start_;
  QElapsedTimer strokeClock_, sampleClock_;
  QPointF velocity_;  // pixels per second, smoothed
  std::optional<double> pinchStartDistance_;
  double pinchStartScale_ = 1.0;
  QElapsedTimer lastTap_;
  QPointF lastTapAt_;
  QTimer momentum_;
};

}  // namespace penvora::qt::document
