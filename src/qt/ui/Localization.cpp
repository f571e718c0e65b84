#include "qt/ui/Localization.hpp"

#include <QLocale>
#include <QTranslator>
#include <memory>

namespace penvora::qt::ui {
namespace {

constexpr const char* kContext = "Localizable";

struct Tables {
  QString language;
  std::unique_ptr<QTranslator> english;
  std::unique_ptr<QTranslator> chosen;  // null when the language is English
};

Tables& tables() {
  static Tables t;
  return t;
}

std::unique_ptr<QTranslator> loadTable(const QString& language) {
  auto tr = std::make_unique<QTranslator>();
  if (!tr->load(QStringLiteral(":/penvora/i18n/penvora_%1.qm").arg(language))) return nullptr;
  return tr;
}

void ensureLoaded() {
  auto& t = tables();
  if (t.english) return;
  t.english = loadTable(QStringLiteral("en"));
  if (t.language.isEmpty()) t.language = QLocale().name().section('_', 0, 0);
  if (t.language != QLatin1String("en")) t.chosen = loadTable(t.language);
}

}  // namespace

void setLanguage(const QString& language) {
  auto& t = tables();
  t.english.reset();
  t.chosen.reset();
  t.language = language;
  ensureLoaded();
}

QString currentLanguage() {
  ensureLoaded();
  return tables().chosen ? tables().language : QStringLiteral("en");
}

QString localizedString(const QString& key) { return localizedString(key.toUtf8().constData()); }

QString localizedString(const char* key) {
  ensureLoaded();
  auto& t = tables();
  // We do not install into the application: the host's own translators
  // stay untouched and cannot shadow ours.
  for (QTranslator* tr : {t.chosen.get(), t.english.get()}) {
    if (!tr) continue;
    QString text = tr->translate(kContext, key);
    if (!text.isEmpty()) return text;
  }
  return QString::fromUtf8(key);
}

}  // namespace penvora::qt::ui
