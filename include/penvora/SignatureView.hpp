#pragma once
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "penvora/Export.hpp"
#include "penvora/SignatureInk.hpp"

namespace penvora {

class SignatureView;

// Receives what a SignatureView sees. Not owned by the view.
class PENVORA_EXPORT SignatureViewDelegate {
 public:
  virtual ~SignatureViewDelegate() = default;
  // A tap was drawn.
  virtual void swiftSignatureViewDidTapInside(SignatureView& view) = 0;
  // A pan event was processed (any phase).
  virtual void swiftSignatureViewDidPanInside(SignatureView& view) = 0;
  // A sampled point in the view's coordinates (y downwards) and its time in
  // milliseconds since the view's first touch.
  virtual void signatureViewPointCapture(const QPointF& point, std::int64_t time) = 0;
};

// A pad for a handwritten signature with a variable-width ink line. It
// keeps what is drawn as a bitmap and reports every sampled point with its
// time to the delegate. Mouse, touch and pen (tablet) input all draw.
class PENVORA_EXPORT SignatureView : public QWidget {
  Q_OBJECT
  Q_PROPERTY(double maximumStrokeWidth READ maximumStrokeWidth WRITE setMaximumStrokeWidth)
  Q_PROPERTY(double minimumStrokeWidth READ minimumStrokeWidth WRITE setMinimumStrokeWidth)
  Q_PROPERTY(QColor strokeColor READ strokeColor WRITE setStrokeColor)
  Q_PROPERTY(double strokeAlpha READ strokeAlpha WRITE setStrokeAlpha)

 public:
  explicit SignatureView(QWidget* parent = nullptr);
  explicit SignatureView(const QRect& frame, QWidget* parent = nullptr);
  ~SignatureView() override;

  virtual SignatureViewDelegate* delegate() const { return delegate_; }
  virtual void setDelegate(SignatureViewDelegate* delegate) { delegate_ = delegate; }
  // Kept only when above 0 and not below the minimum.
  virtual double maximumStrokeWidth() const { return ink_.maximumStrokeWidth(); }
  virtual void setMaximumStrokeWidth(double width);
  // Kept only when above 0 and not above the maximum.
  virtual double minimumStrokeWidth() const { return ink_.minimumStrokeWidth(); }
  virtual void setMinimumStrokeWidth(double width);
  virtual QColor strokeColor() const { return ink_.strokeColor(); }
  virtual void setStrokeColor(const QColor& color) { ink_.setStrokeColor(color); }
  // Taken only when 0 < alpha <= 1.
  virtual double strokeAlpha() const { return ink_.strokeAlpha(); }
  virtual void setStrokeAlpha(double alpha);
  // Everything drawn so far; none before the first ink or after clear().
  virtual std::optional<QImage> signature() const;
  // Drops the drawing. The time origin and the last width stay.
  virtual void clear();

  // The gesture entry points the input events lead to; public so a host
  // with its own gesture handling can drive the view.
  using PanPhase = SignatureInk::PanPhase;
  void tap(const QPointF& location);
  void pan(PanPhase phase, const QPointF& location);

 protected:
  // Milliseconds since 1970 (UTC); the time base of every report.
  virtual std::int64_t now() const;

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void tabletEvent(QTabletEvent* event) override;

  QPointF previousPoint() const { return ink_.previousPoint(); }
  QPointF previousEndPoint() const { return ink_.previousEndPoint(); }
  double previousWidth() const { return ink_.previousWidth(); }
  std::int64_t startTime() const { return ink_.startTime(); }
  // The ink and the trace (every input point with its time), for a
  // subclass that writes the biometric record.
  const SignatureInk& ink() const { return ink_; }

 private:
  void followSize();  // the ink's bitmap takes the view's size and scale

  SignatureViewDelegate* delegate_ = nullptr;
  SignatureInk ink_;
};

}  // namespace penvora
