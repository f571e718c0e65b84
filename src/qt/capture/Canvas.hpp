#pragma once
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QWidget>
#include <vector>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/capture/CaptureProgress.hpp"

namespace penvora::qt::capture {

class ProgressBar;

// The pen canvas of the capture panel. Finger (as mouse), mouse and pen
// draw; every input event adds one point, so the points come at the
// device's own rate. Strokes keep their creation time and each point its
// offset in seconds from the stroke's first event.
class Canvas : public QWidget {
  Q_OBJECT
 public:
  // Updates the shared progress state after each change of the drawing.
  class Coordinator {
   public:
    explicit Coordinator(ProgressBar& progressBar,
                         int pointsToCompleteProgressBar = core::capture::kPointsToCompleteProgressBar);
    void canvasViewDrawingDidChange(const Canvas& canvas);
    int pointsToCompleteProgressBar() const { return pointsToCompleteProgressBar_; }

   private:
    ProgressBar& progressBar_;
    int pointsToCompleteProgressBar_;
  };

  // The default black would vanish on a dark scheme, so only that exact
  // text becomes white there; every other text is parsed as it stands.
  static QColor inkColor(bool darkColorScheme, const QString& pencilColorHex);
  static QColor levelColor(core::capture::ProgressLevel level);

  Canvas(bool darkColorScheme, const QString& pencilColorHex, double pencilWidth, QWidget* parent = nullptr);

  QColor ink() const { return ink_; }
  double pencilWidth() const { return pencilWidth_; }
  const std::vector<core::capture::CapturedStroke>& strokes() const { return strokes_; }
  std::size_t pointCount() const;
  // Replaces the drawing by an empty one.
  void clearDrawing();
  // The ink alone on a transparent background at `scale`, over the largest
  // canvas it was drawn on; ink beyond that area was never shown.
  QImage renderDrawing(qreal scale) const;

 signals:
  void drawingDidChange();

 protected:
  // Milliseconds since 1970, the stroke creation clock.
  virtual double nowMs() const;

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void tabletEvent(QTabletEvent* event) override;

 private:
  // `pressure`: 0..1 from a pen; mouse and touch press fully.
  void begin(const QPointF& p, quint64 timestamp, double pressure = 1);
  void extend(const QPointF& p, quint64 timestamp, double pressure = 1);
  void end(const QPointF& p, quint64 timestamp, double pressure = 1);
  double offsetSeconds(quint64 timestamp) const;
  void paintStroke(QPainter& painter, const core::capture::CapturedStroke& stroke) const;
  void rebuildInk();

  QColor ink_;
  double pencilWidth_;
  std::vector<core::capture::CapturedStroke> strokes_;
  bool drawing_ = false;
  QSizeF drawnOn_;  // the largest size the canvas had while a stroke began on it
  quint64 strokeStartTimestamp_ = 0;
  QElapsedTimer strokeTimer_;  // for events that carry no timestamp
  QImage inkImage_;            // retained ink; new segments are drawn into it
};

}  // namespace penvora::qt::capture
