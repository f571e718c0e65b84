#include "qt/ui/QtColor.hpp"

#include <QCoreApplication>
#include <QVariant>

#include "penvora/Color.hpp"

namespace penvora::qt::ui {

QColor colorFromHex(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const Rgba c = penvora::colorFromHex(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
  return QColor(c.red, c.green, c.blue, c.alpha);
}

const QColor& primaryColor() {
  static const QColor c = colorFromHex(QStringLiteral("0057A2"));
  return c;
}

QColor namedColor(const QString& name) {
  // Panel background and the accent of headers and button texts: white
  // titles on the accent (7.3:1) and accent texts on the panel (6.7:1)
  // both keep the 4.5:1 a reader needs.
  static const QColor lightGray = colorFromHex(QStringLiteral("F2F2F5"));
  static const QColor accent = colorFromHex(QStringLiteral("0057A2"));
  if (name == QLatin1String("LightGrayColor")) return lightGray;
  if (name == QLatin1String("AccentColor")) return accent;
  if (name == QLatin1String("ToolbarTitleColor")) return QColor(Qt::black);
  return {};
}

QColor toolbarTextColor() {
  if (const auto* app = QCoreApplication::instance()) {
    const QVariant chosen = app->property("penvoraToolbarTitleColor");
    if (chosen.canConvert<QColor>() && chosen.value<QColor>().isValid()) return chosen.value<QColor>();
  }
  return QColor(Qt::white);
}

bool isDarkColorScheme(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

}  // namespace penvora::qt::ui
