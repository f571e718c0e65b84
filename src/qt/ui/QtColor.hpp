#pragma once
#include <QColor>
#include <QPalette>
#include <QString>

namespace penvora::qt::ui {

// The hexadecimal colour rule as a QColor.
QColor colorFromHex(const QString& text);

// The component's primary colour, 0057A2.
const QColor& primaryColor();

// The component's named colours, "LightGrayColor", "AccentColor" and
// "ToolbarTitleColor" (the black first chosen for the toolbar's title and
// page counter); an unknown name yields an invalid colour.
QColor namedColor(const QString& name);

// The colour of the toolbar's title, page counter and buttons on the
// accent: white (7.3:1), as black reaches only 2.9:1 there and no darker
// colour passes 4.5:1. A host restores the original by setting the
// application property "penvoraToolbarTitleColor" to
// namedColor("ToolbarTitleColor") (or any colour) before the screen opens.
QColor toolbarTextColor();

// Whether a palette is a dark colour scheme (light text on a dark window).
bool isDarkColorScheme(const QPalette& palette);

}  // namespace penvora::qt::ui
