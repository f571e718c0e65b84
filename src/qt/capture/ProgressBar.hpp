#pragma once
#include <QColor>
#include <QVariantAnimation>
#include <QWidget>

namespace penvora::qt::capture {

// The security bar of the capture panel: an 80 × 15 track and, over it
// from the left, a bar of min(value × 80, 80) in the current colour. For
// assistive technology it is a progress bar whose value is the percentage
// filled (0 to 100).
class ProgressBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTrackWidth = 80, kTrackHeight = 15, kCornerRadius = 5;

  explicit ProgressBar(QWidget* parent = nullptr);

  float value() const { return value_; }
  void setValue(float value);
  QColor color() const { return color_; }
  void setColor(const QColor& color);
  // Width the bar is heading to; the drawn width follows it linearly.
  double targetBarWidth() const;
  // The percentage a reader is told.
  int percent() const;

  QSize sizeHint() const override { return {kTrackWidth, kTrackHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  float value_ = 0;
  QColor color_ = QColor(0x8E, 0x8E, 0x93);  // grey until the first stroke
  double shownWidth_ = 0;
  QVariantAnimation animation_;
};

}  // namespace penvora::qt::capture
