#include "qt/ui/Accessibility.hpp"

#include <QAccessible>
#include <QWidget>

#include "qt/ui/Localization.hpp"

namespace penvora::qt::ui {

void nameForAccessibility(QWidget* widget, const char* nameKey, const char* descriptionKey) {
  widget->setAccessibleName(localizedString(nameKey));
  if (descriptionKey) widget->setAccessibleDescription(localizedString(descriptionKey));
}

void announce(QWidget* widget, const QString& text) {
  widget->setAccessibleDescription(text);
  if (!QAccessible::isActive()) return;
  QAccessibleEvent changed(widget, QAccessible::DescriptionChanged);
  QAccessible::updateAccessibility(&changed);
  QAccessibleEvent alert(widget, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

QString focusRing(const QString& ring) {
  // A border, as style sheets draw no outline; buttons keep their padding.
  return QStringLiteral(
             "QPushButton:focus, QToolButton:focus, QLineEdit:focus, QPlainTextEdit:focus, QLabel:focus "
             "{ border: 3px solid %1; }")
      .arg(ring);
}

}  // namespace penvora::qt::ui
