#include "qt/ui/PanelFonts.hpp"

namespace penvora::qt::ui {

int pointSize(TextStyle style) {
  switch (style) {
    case TextStyle::title:
      return 28;
    case TextStyle::title2:
      return 22;
    case TextStyle::title3:
      return 20;
    case TextStyle::body:
      return 17;
  }
  return 17;
}

QFont panelFont(const QString& postScriptName, TextStyle style) { return namedFont(postScriptName, pointSize(style)); }

QFont namedFont(const QString& postScriptName, int points) {
  // "Family-Style"; Exo 2 drops its space in PostScript names.
  const QString family = postScriptName.section(QLatin1Char('-'), 0, 0);
  const QString weight = postScriptName.section(QLatin1Char('-'), 1);
  QFont font(family == QLatin1String("Exo2") ? QStringLiteral("Exo 2") : family);
  if (weight.startsWith(QLatin1String("Medium")))
    font.setWeight(QFont::Medium);
  else if (weight.startsWith(QLatin1String("Bold")))
    font.setWeight(QFont::Bold);
  else
    font.setWeight(QFont::Normal);
  font.setItalic(weight.contains(QLatin1String("Italic")));
  // Points of the platform are device-independent pixels here.
  font.setPixelSize(points);
  return font;
}

}  // namespace penvora::qt::ui
