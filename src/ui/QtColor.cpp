#include "ui/QtColor.hpp"

#include "penvora/Color.hpp"

namespace penvora::ui {

QColor colorFromHex(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const Rgba c = penvora::colorFromHex(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
  return QColor(c.red, c.green, c.blue, c.alpha);
}

const QColor& primaryColor() {
  static const QColor c = colorFromHex(QStringLiteral("0057A2"));
  return c;
}

}  // namespace penvora::ui
