#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <map>

#include "penvora/PenvoraSDKWidgetType.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/QtColor.hpp"
#include "qt/ui/XIBLocalizable.hpp"

using namespace penvora::qt::ui;

namespace {
// Keys the component looks up; each must have a text in both languages.
const QStringList kKeys = QString(
                              "IncorrectPDFExtension IncorrectPDFPassword IncorrectRatio IncorrectSignatureSize "
                              "IncorrectFindTextNil IncorrectFloatText onDocument manual field fixed float "
                              "loading_documents Page of DragAndResize AddSignatureText AddSignatureTextMessage "
                              "EnterSignatureText Cancel Accept insert-password password no_cert_selected "
                              "document_will_get_signed_by_default_cert know_more")
                              .split(' ');
}  // namespace

TEST(Localization, EveryKeyHasEnglishAndSpanishText) {
  std::map<std::string, QString> password;
  for (const char* language : {"es", "en"}) {
    setLanguage(language);
    for (const QString& k : kKeys) EXPECT_FALSE(localizedString(k).isEmpty()) << language << " " << k.toStdString();
    password[language] = localizedString("IncorrectPDFPassword");
  }
  // Spanish texts may coincide with English ("Manual"), not this one.
  EXPECT_NE(password["es"], password["en"]);
  EXPECT_EQ(localizedString("IncorrectPDFExtension"), "The signed document name must end with .pdf");
  setLanguage("es");
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

TEST(Localization, CoreTextsComeFromTheStringTableWithoutBeingAsked) {
  setLanguage("es");
  EXPECT_EQ(penvora::description(penvora::PenvoraSDKWidgetType::float_), localizedString("float").toStdString());
  EXPECT_NE(penvora::description(penvora::PenvoraSDKWidgetType::float_), "float");
  setLanguage("en");
}

TEST(Localization, AnInterfaceFileNamesTheKeyOfALabelOrAButton) {
  setLanguage("es");
  QWidget form;
  auto* label = new QLabel("old", &form);
  auto* button = new QPushButton(&form);
  auto* bystander = new QLabel("kept", &form);
  label->setProperty(XIBLocalizable::kProperty, "Accept");
  button->setProperty(XIBLocalizable::kProperty, "Cancel");
  XIBLocalizable::applyXibLocKeys(&form);
  EXPECT_EQ(label->text(), "Aceptar");
  EXPECT_EQ(button->text(), localizedString("Cancel"));
  EXPECT_EQ(bystander->text(), "kept");
  EXPECT_FALSE(label->property(XIBLocalizable::kProperty).isValid()) << "the key is not kept";
  EXPECT_EQ(XIBLocalizable::xibLocKey(label), std::nullopt);
  XIBLocalizable::setXibLocKey(label, std::nullopt);
  EXPECT_TRUE(label->text().isEmpty());
  XIBLocalizable::setXibLocKey(button, QString("no.such.key"));
  EXPECT_EQ(button->text(), "no.such.key");
  setLanguage("en");
}

TEST(QtColorAdapter, MatchesCoreRule) { EXPECT_EQ(penvora::qt::ui::colorFromHex("#80FF0000"), QColor(255, 0, 0, 128)); }
