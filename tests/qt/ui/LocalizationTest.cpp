#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include "qt/ui/Localization.hpp"
#include "qt/ui/QtColor.hpp"

using namespace penvora::qt::ui;

using penvora::qt::ui::localizedString;
using penvora::qt::ui::setLanguage;

namespace {
// Keys the component looks up; each must have a text in both languages.
const char* const kKeys[] = {
    "IncorrectPDFExtension", "IncorrectPDFPassword", "IncorrectRatio", "IncorrectSignatureSize",
    "IncorrectFindTextNil", "IncorrectFloatText", "onDocument", "manual", "field", "fixed", "float",
    "loading_documents", "Page", "of", "DragAndResize", "AddSignatureText",
    "AddSignatureTextMessage", "EnterSignatureText", "Cancel", "Accept", "insert-password",
    "password", "no_cert_selected", "document_will_get_signed_by_default_cert", "know_more"};
}  // namespace

TEST(Localization, EveryKeyHasEnglishAndSpanishText) {
  setLanguage("en");
  QStringList english;
  for (const char* k : kKeys) {
    QString t = localizedString(k);
    EXPECT_FALSE(t.isEmpty()) << k;
    english << t;
  }
  EXPECT_EQ(localizedString("IncorrectPDFExtension"), "The signed document name must end with .pdf");
  setLanguage("es");
  int i = 0;
  for (const char* k : kKeys) {
    QString t = localizedString(k);
    EXPECT_FALSE(t.isEmpty()) << k;
    // Spanish texts exist (they may coincide with English, e.g. "Manual").
    if (QString(k) == "IncorrectPDFPassword") {
      EXPECT_NE(t, english[i]);
    }
    ++i;
  }
  EXPECT_EQ(localizedString("Accept"), "Aceptar");
  setLanguage("en");
}

TEST(Localization, MissingKeyYieldsKeyAndUnknownLanguageFallsBack) {
  setLanguage("en");
  EXPECT_EQ(localizedString("no.such.key"), "no.such.key");
  setLanguage("fi");
  EXPECT_EQ(penvora::qt::ui::currentLanguage(), "en");
  EXPECT_EQ(localizedString("Accept"), "Accept");
  EXPECT_EQ(localizedString(""), "");
  setLanguage("en");
}

TEST(QtColorAdapter, MatchesCoreRule) {
  EXPECT_EQ(penvora::qt::ui::colorFromHex("#80FF0000"), QColor(255, 0, 0, 128));
  EXPECT_EQ(penvora::qt::ui::primaryColor(), QColor(0x00, 0x57, 0xA2));
}
