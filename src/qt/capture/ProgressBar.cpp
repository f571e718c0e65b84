#include "qt/capture/ProgressBar.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace penvora::qt::capture {
namespace {

// The bar as a progress bar with a value, as QProgressBar is.
class AccessibleProgressBar : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit AccessibleProgressBar(ProgressBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
  void* interface_cast(QAccessible::InterfaceType t) override {
    return t == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                            : QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(bar()->percent()) + QLatin1Char('%');
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return bar()->percent(); }
  void setCurrentValue(const QVariant&) override {}  // read only
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  ProgressBar* bar() const { return static_cast<ProgressBar*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("penvora::qt::capture::ProgressBar") && object && object->isWidgetType())
    return new AccessibleProgressBar(static_cast<ProgressBar*>(object));
  return nullptr;
}

}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {
  static const bool installed = (QAccessible::installFactory(accessibleFactory), true);
  (void)installed;
  setFixedSize(kTrackWidth, kTrackHeight);
  animation_.setDuration(150);
  animation_.setEasingCurve(QEasingCurve::Linear);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
    shownWidth_ = v.toDouble();
    update();
  });
}

int ProgressBar::percent() const {
  return static_cast<int>(std::lround(std::clamp(static_cast<double>(value_), 0.0, 1.0) * 100));
}

double ProgressBar::targetBarWidth() const {
  return std::clamp(static_cast<double>(value_) * kTrackWidth, 0.0, static_cast<double>(kTrackWidth));
}

void ProgressBar::setValue(float value) {
  if (value == value_) return;
  const int before = percent();
  value_ = value;
  if (percent() != before && QAccessible::isActive()) {
    QAccessibleValueChangeEvent changed(this, percent());
    QAccessible::updateAccessibility(&changed);
  }
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
