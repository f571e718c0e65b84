#pragma once
#include <QString>

namespace penvora::qt::ui {

// The text of a key in the component's "Localizable" string table, in the
// current language; a key without an entry yields the key itself.
QString localizedString(const char* key);
QString localizedString(const QString& key);

// Language of the texts: "en", "es", or empty for the system's language.
// Languages without a table fall back to English.
void setLanguage(const QString& language);
QString currentLanguage();

}  // namespace penvora::qt::ui
