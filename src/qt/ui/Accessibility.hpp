#pragma once
#include <QString>

class QAbstractButton;
class QWidget;

namespace penvora::qt::ui {

// Names a control for assistive technology from the string table: its
// name and, when given, its description (both keys of "Localizable").
void nameForAccessibility(QWidget* widget, const char* nameKey, const char* descriptionKey = nullptr);

// Makes a screen reader say a widget's text now (an error that appeared,
// the page that is shown): the description changed and an alert is raised.
void announce(QWidget* widget, const QString& text);

// The style sheet rules that draw the keyboard focus: a 3 px ring of
// `ring` around buttons, fields and the viewer. The ring must keep 3:1
// with the background it is drawn on.
QString focusRing(const QString& ring);

// The focus ring's colours: dark on light cards and pages, white on the
// accent bar.
inline constexpr const char* kFocusOnLight = "#1C1C1E";   // 17:1 on white, 15:1 on F2F2F5
inline constexpr const char* kFocusOnAccent = "#FFFFFF";  // 7.3:1 on 0057A2

}  // namespace penvora::qt::ui
