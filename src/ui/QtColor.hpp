#pragma once
#include <QColor>
#include <QString>

namespace penvora::ui {

// The hexadecimal colour rule as a QColor.
QColor colorFromHex(const QString& text);

// The component's primary colour, 0057A2.
const QColor& primaryColor();

}  // namespace penvora::ui
