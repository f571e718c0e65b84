#pragma once
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <deque>
#include <functional>
#include <string>

class QPointingDevice;

namespace penvora::demo {

// Touch and pen gestures for the real-window tests. Xvfb has neither a
// touch screen nor a tablet and XTest moves only the core pointer, so the
// gestures enter Qt where its xcb plugin hands over what XInput2 reports:
// the window-system interface of the real window. From there they take the
// path a finger or a pen on a device takes (routing, touch-to-mouse and
// pen-to-mouse synthesis, grabs).
//
// Gestures (screen coordinates, MS the time the hand takes):
//   touch MS X Y X Y ...   one finger along the points
//   pen MS X Y X Y ...     the pen along the points, pressed
//   pinch MS CX CY D0 D1   two fingers on a row around CX,CY, D0 apart, then D1
//   tap X Y                one short touch
class ProbeInput : public QObject {
 public:
  explicit ProbeInput(QObject* parent = nullptr);

  // Plays the gesture a line names into `window`; false when the line names none.
  bool start(const std::string& line, QWindow* window);
  bool busy() const { return !steps_.empty(); }

 private:
  struct Step {
    int delayMs;
    std::function<void()> send;
  };
  void touchPoints(const std::vector<QPointF>& points, int ms);
  void penPoints(const std::vector<QPointF>& points, int ms);
  void pinch(QPointF centre, double from, double to, int ms);
  void sendTouch(const std::vector<std::pair<QPointF, int>>& fingers, int state);
  void playNext();

  QPointingDevice* touchScreen_;
  QPointingDevice* pen_;
  QPointer<QWindow> window_;
  std::deque<Step> steps_;
  QTimer timer_;
};

}  // namespace penvora::demo
