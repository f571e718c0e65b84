#pragma once
#include <QFont>
#include <QString>

namespace penvora::qt::ui {

// The platform text styles the panels size their texts by, in points.
enum class TextStyle { title, title2, title3, body };
int pointSize(TextStyle style);

// A registered font by its PostScript name ("Exo2-Medium", "Exo2-Regular",
// "Exo2-Bold", "Asap-Regular", ...) at a text style's size.
QFont panelFont(const QString& postScriptName, TextStyle style);
// The same at a size in points; the family falls back to the system's
// when it is not registered.
QFont namedFont(const QString& postScriptName, int points);

}  // namespace penvora::qt::ui
