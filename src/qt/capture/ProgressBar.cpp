#include "qt/capture/ProgressBar.hpp"

#include <QPainter>
#include <algorithm>

namespace penvora::qt::capture {

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {
  setFixedSize(kTrackWidth, kTrackHeight);
  animation_.setDuration(150);
  animation_.setEasingCurve(QEasingCurve::Linear);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
    shownWidth_ = v.toDouble();
    update();
  });
}

double ProgressBar::targetBarWidth() const {
  return std::clamp(static_cast<double>(value_) * kTrackWidth, 0.0, static_cast<double>(kTrackWidth));
}

void ProgressBar::setValue(float value) {
  if (value == value_) return;
  value_ = value;
  animation_.stop();
  animation_.setStartValue(shownWidth_);
  animation_.setEndValue(targetBarWidth());
  animation_.start();
}

void ProgressBar::setColor(const QColor& color) {
  color_ = color;
  update();
}

void ProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setOpacity(0.4);
  p.setBrush(palette().color(QPalette::WindowText));
  p.drawRoundedRect(QRectF(0, 0, kTrackWidth, kTrackHeight), kCornerRadius, kCornerRadius);
  p.setOpacity(1.0);
  p.setBrush(color_);
  p.drawRoundedRect(QRectF(0, 0, shownWidth_, kTrackHeight), kCornerRadius, kCornerRadius);
}

}  // namespace penvora::qt::capture
