// From a box on the page as the viewer shows it (turned, cropped) to the
// signed file: the widget sits where the box was and the picture reads
// upright in it, undistorted.
#include <gtest/gtest.h>

#include "core/document/ManualPlacementGeometry.hpp"
#include "core/document/PageGeometry.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;
namespace engine = penvora::core::engine;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// 250 by 100 pixels, white, with a black block in its top-left quarter.
constexpr int kPicW = 250, kPicH = 100;
constexpr int kBlockX0 = 10, kBlockX1 = 115, kBlockY0 = 10, kBlockY1 = 45;

TEST(SignedWhereShownTest, TheSignatureLandsWhereTheBoxWasShownOnTurnedAndCroppedPages) {
  // On screen: 200 by 80 (the picture's 2.5 : 1) at (150.4, 250.6) from the
  // shown page's top-left corner, far from the page's text.
  const Rect shownBox{150.4, 250.6, 200, 80};
  const std::string picture =
      core::util::base64Encode(pdftest::inkJpeg(kPicW, kPicH, kBlockX0, kBlockY0, kBlockX1, kBlockY1));
  const std::string record = core::util::base64Encode(pdftest::bioRecord(30));
  for (int rotation : {0, 90, 180, 270}) {
    for (const std::string cropBox : {"", "[40 60 560 760]"}) {
      SCOPED_TRACE("rotation " + std::to_string(rotation) + ", crop box " + cropBox);
      TempDir dir;
      testsupport::writeText(dir / "in.pdf", pdftest::documentPdf({{rotation, "[0 0 612 792]", "x", cropBox}}));
      const Rect crop = cropBox.empty() ? Rect{0, 0, 612, 792} : Rect{40, 60, 520, 700};
      const Rect expected = core::document::shownRectToPage(shownBox, crop, rotation);

      PenvoraSDKParams params;
      params.fileProperties->documentUris = {(dir / "in.pdf").string()};
      params.commonProperties->saveOnPrivateStorage = true;
      params.certificate->encKeyB64 = pdftest::bioCertB64();
      params.widget->widgetType = PenvoraSDKWidgetType::manual;
      ESSParams ess;
      ess.jpgB64 = picture;
      ess.pointsB64 = record;
      ess.page = 1;
      ess.bounds = core::document::acceptedBounds(expected);
      const auto out = engine::ESS::signDocuments(params, ess);
      ASSERT_EQ(out.size(), 1u);
      const fs::path signedFile = dir / "signed.pdf";
      fs::rename(out[0], signedFile);

      EXPECT_LE(pdftest::cornerGap(pdftest::signedWidgetRect(signedFile).value_or(Rect{}), expected), 1);

      // The block, scaled from 250 x 100 pixels to 200 x 80 points, in the
      // top-left quarter of the box as shown: upright and undistorted.
      const double s = shownBox.width / kPicW;
      const Rect block{shownBox.x + kBlockX0 * s, shownBox.y + kBlockY0 * s, (kBlockX1 - kBlockX0) * s,
                       (kBlockY1 - kBlockY0) * s};
      const auto ink = pdftest::inkOnShownPage(signedFile, {shownBox.x - 20, shownBox.y - 20, 240, 120}, dir.path());
      ASSERT_TRUE(ink);
      EXPECT_NEAR(ink->x, block.x, 2);
      EXPECT_NEAR(ink->y, block.y, 2);
      EXPECT_NEAR(ink->width, block.width, 3);
      EXPECT_NEAR(ink->height, block.height, 3);
    }
  }
}

}  // namespace
