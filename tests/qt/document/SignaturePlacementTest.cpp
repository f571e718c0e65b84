#include "qt/document/SignaturePlacement.hpp"

#include <gtest/gtest.h>

#include "core/document/PageGeometry.hpp"
#include "qt/ui/Localization.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora;
using namespace penvora::qt::document;
using namespace penvora::core::document;
using testsupport::TempDir, testsupport::writeText;

namespace {

// A document and its text.
struct Shown {
  TempDir dir;
  std::optional<PDFDocument> document;
  std::unique_ptr<PDFTextSearch> text;
  explicit Shown(const std::string& pdf = pdftest::contractPdf()) {
    writeText(dir / "d.pdf", pdf);
    document = PDFDocument::open((dir / "d.pdf").string());
    text = std::make_unique<PDFTextSearch>(QString::fromStdString((dir / "d.pdf").string()), QString());
  }
};

QImage ink() {
  QImage image(300, 100, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  for (int x = 10; x < 290; ++x) image.setPixelColor(x, 50, Qt::black);
  return image;
}

TEST(SignaturePlacementTest, FieldModeUsesTheNamedFieldElseTheFirst) {
  Shown shown;
  ASSERT_TRUE(shown.document);
  PenvoraSDKWidget w;
  w.widgetType = PenvoraSDKWidgetType::field;
  w.widgetFieldFieldname = "group.Sig2";
  SignaturePlacement placement(*shown.document, *shown.text, w);
  EXPECT_EQ(placement.validateWidget(), std::nullopt);
  ESSParams ess;
  ASSERT_TRUE(placement.placeFieldSignature(ink(), ess));
  EXPECT_EQ(ess.page, 3);
  EXPECT_EQ(ess.bounds, (Rect{50, 400, 200, 60}));
  EXPECT_FLOAT_EQ(placement.signatureRatio(), 200.0f / 60.0f);
  EXPECT_FALSE(ess.jpgB64.empty());

  w.widgetFieldFieldname = "C";
  ASSERT_TRUE(placement.placeFieldSignature(ink(), ess));
  EXPECT_EQ(ess.page, 1);
  EXPECT_EQ(ess.bounds, (Rect{100, 100, 200, 60}));

  // No field at all: nothing to sign on, inputs untouched.
  Shown plain(pdftest::plainPdf());
  SignaturePlacement none(*plain.document, *plain.text, w);
  ESSParams untouched;
  EXPECT_FALSE(none.placeFieldSignature(ink(), untouched));
  EXPECT_EQ(untouched.page, -1);
  EXPECT_FLOAT_EQ(none.signatureRatio(), 2.5f);

  // "group.Sig2", 200 x 60 in page space, on a page turned a quarter shows
  // 60 wide and 200 high: not a usable shape, so the default one.
  Shown turned(pdftest::documentPdf({{}, {90}}, /*signatureFields=*/true));
  w.widgetFieldFieldname = "group.Sig2";
  EXPECT_FLOAT_EQ(SignaturePlacement(*turned.document, *turned.text, w).signatureRatio(), 2.5f);
}

TEST(SignaturePlacementTest, FloatModeHangsTheBoxUnderTheTextFoundLiterally) {
  penvora::qt::ui::setLanguage("en");
  Shown shown;
  PenvoraSDKWidget w;
  w.widgetType = PenvoraSDKWidgetType::float_;
  w.widgetFloatText = "Madrid";
  w.widgetFloatGapX = 10;
  w.widgetFloatGapY = 5;
  SignaturePlacement placement(*shown.document, *shown.text, w);
  EXPECT_EQ(placement.validateWidget(), std::nullopt);
  ESSParams ess;
  ASSERT_TRUE(placement.placeFloatSignature(ink(), ess));
  EXPECT_EQ(ess.page, 2);  // on the page turned a quarter: under the text as the user reads it
  const auto match = shown.text->findString("Madrid", literal).front().bounds;
  EXPECT_GT(match.x, 72 + 50);  // "Madrid" is not at the line's start
  const Rect page{0, 0, 612, 792}, text = pageRectToShown(match, page, 90), box = pageRectToShown(ess.bounds, page, 90);
  EXPECT_LE(pdftest::cornerGap(box, {text.x + 10, text.y + text.height - 5, box.width, box.height}), 1);
  EXPECT_EQ(std::pair(box.width, box.height), std::pair(150.0, 100.0));

  // Found only when letter case is ignored: the check passes, nothing is placed.
  w.widgetFloatText = "MADRID";
  ESSParams untouched;
  EXPECT_EQ(placement.validateWidget(), std::nullopt);
  EXPECT_FALSE(placement.placeFloatSignature(ink(), untouched));
  EXPECT_EQ(untouched.page, -1);

  w.widgetFloatText = "Paris";
  EXPECT_EQ(placement.validateWidget(), QString("Could not find the text 'Paris' in the document"));
}

TEST(SignaturePlacementTest, FixedModeAndTheJpegOverWhite) {
  Shown shown;
  PenvoraSDKWidget w;
  w.widgetType = PenvoraSDKWidgetType::fixed;
  w.widgetWidth = 100;
  w.widgetHeight = 150;
  SignaturePlacement placement(*shown.document, *shown.text, w);
  EXPECT_EQ(placement.validateWidget(), QString("The signature box proportions are not valid"));
  w.widgetWidth = 300;
  w.widgetFixedPage = 2;
  ESSParams ess;
  ASSERT_TRUE(placement.placeFixedSignature(ink(), ess));
  EXPECT_EQ(ess.page, 2);
  EXPECT_EQ(ess.bounds, (Rect{0, 0, 300, 150}));
  // The request's sides decide, whatever way the page is turned: 300 x 150
  // passes on the page turned a quarter, 100 x 150 does not. The first
  // shows 150 x 300: the capture takes the nearest shape it can, square.
  EXPECT_EQ(placement.validateWidget(), std::nullopt);
  EXPECT_FLOAT_EQ(placement.signatureRatio(), 1.0f);
  w.widgetWidth = 100;
  EXPECT_EQ(placement.validateWidget(), QString("The signature box proportions are not valid"));
  // The capture takes the shape the user sees there: 150 x 100.
  EXPECT_FLOAT_EQ(placement.signatureRatio(), 1.5f);

  const auto jpeg = core::util::base64Decode(ess.jpgB64);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(ess.jpgB64.find('\n'), std::string::npos);
  QImage back;
  ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(jpeg->data()), static_cast<int>(jpeg->size()), "JPEG"));
  // The 300 x 100 picture centred on the 150 x 300 shape the user sees.
  EXPECT_EQ(back.size(), QSize(300, 600));
  EXPECT_GE(qGray(back.pixel(5, 5)), 250);     // transparent became white
  EXPECT_LE(qGray(back.pixel(150, 300)), 40);  // the ink stays dark at quality 100
  EXPECT_EQ(SignaturePlacement::renderSignatureJPEG(QImage()), "");
}

}  // namespace
