#include "qt/ui/XIBLocalizable.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QVariant>

#include "qt/ui/Localization.hpp"

namespace penvora::qt::ui::XIBLocalizable {
namespace {

QString textOf(const std::optional<QString>& key) { return key ? localizedString(*key) : QString(); }

// The key an interface file set on `object`, taken off it.
std::optional<QString> takeKey(QObject* object) {
  const QVariant key = object->property(kProperty);
  if (!key.isValid()) return std::nullopt;
  object->setProperty(kProperty, QVariant());
  return key.toString();
}

}  // namespace

void setXibLocKey(QLabel* label, const std::optional<QString>& key) { label->setText(textOf(key)); }

void setXibLocKey(QAbstractButton* button, const std::optional<QString>& key) { button->setText(textOf(key)); }

void applyXibLocKeys(QWidget* root) {
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (!w->property(kProperty).isValid()) continue;
    const auto key = takeKey(w);
    if (auto* label = qobject_cast<QLabel*>(w))
      setXibLocKey(label, key);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
      setXibLocKey(button, key);
  }
}

}  // namespace penvora::qt::ui::XIBLocalizable
