// A signature captured on a host's own pad, signed without the screen.
#include <gtest/gtest.h>

#include <QImage>

#include "penvora/CapturedSignatureSigning.hpp"
#include "penvora/ErrorTexts.hpp"
#include "qt/ui/Localization.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora;

TEST(CapturedSignatureSigningTest, SignsInFixedModeAndSaysWhyNotOtherwise) {
  penvora::qt::ui::setLanguage("en");
  testsupport::TempDir dir;
  testsupport::writeText(dir / "in.pdf", pdftest::plainPdf(1));
  PenvoraSDKParams params;
  params.fileProperties->documentPath = (dir / "in.pdf").string();
  params.commonProperties->saveOnPrivateStorage = true;
  params.certificate->handwrittenSignature = false;
  params.widget->widgetType = PenvoraSDKWidgetType::fixed;
  params.widget->widgetFixedPage = 1;
  QImage picture(300, 100, QImage::Format_ARGB32);
  picture.fill(Qt::black);

  const auto signedResult = signCapturedSignature(params, picture, "");
  ASSERT_TRUE(signedResult.ok()) << signedResult.error;
  ASSERT_EQ(signedResult.signedFiles.size(), 1u);
  EXPECT_EQ(pdftest::pdfsigValidations(signedResult.signedFiles.front()),
            std::vector<std::string>{"Signature is Valid."});
  std::filesystem::remove(signedResult.signedFiles.front());

  params.fileProperties->documentPath = pdftest::encrypted(dir / "in.pdf", "secret").string();
  params.fileProperties->password = "wrong";
  EXPECT_EQ(signCapturedSignature(params, picture, "").error, "The PDF password is incorrect");  // a text, not a key

  params.widget->widgetType = PenvoraSDKWidgetType::manual;
  EXPECT_EQ(signCapturedSignature(params, picture, "").error, "manual positioning needs the signing screen");
}
