#pragma once
#include <QColor>
#include <QPalette>
#include <QString>

namespace penvora::qt::ui {

// The hexadecimal colour rule as a QColor.
QColor colorFromHex(const QString& text);

// The component's primary colour, 0057A2.
const QColor& primaryColor();

// The component's named colours, "LightGrayColor" and "AccentColor"; an
// unknown name yields an invalid colour.
QColor namedColor(const QString& name);

// Whether a palette is a dark colour scheme (light text on a dark window).
bool isDarkColorScheme(const QPalette& palette);

}  // namespace penvora::qt::ui
