#include "qt/document/PDFTextSearch.hpp"

#include <gtest/gtest.h>

#include "support/PdfTestSupport.hpp"

using namespace penvora::qt::document;
using testsupport::TempDir, testsupport::writeText;

namespace {

QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// The page text is drawn at (72, 700) in 18-point Helvetica, whatever the
// rotation or boxes of the page; its box must come back there.
TEST(PDFTextSearchTest, BoundsAreInPageSpaceOnRotatedAndCroppedPages) {
  TempDir dir;
  const std::string crop = "[0 0 612 792] /CropBox [50 60 562 752]";
  for (const auto& [rotate, boxes] : std::vector<std::pair<int, std::string>>{{0, "[0 0 612 792]"},
                                                                              {90, "[0 0 612 792]"},
                                                                              {180, "[0 0 612 792]"},
                                                                              {270, "[0 0 612 792]"},
                                                                              {0, "[-100 200 712 992]"},
                                                                              {0, crop},
                                                                              {90, crop}}) {
    SCOPED_TRACE(boxes + " turned " + std::to_string(rotate));
    writeText(dir / "p.pdf", pdftest::documentPdf({{rotate, boxes, "Firma aqui"}}));
    PDFTextSearch search(qpath(dir / "p.pdf"), {});
    ASSERT_TRUE(search.isLoaded());
    const auto found = search.findString("Firma", FindOptions::literal);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pageIndex, 0u);
    EXPECT_NEAR(found[0].bounds.x, 72, 2.5);
    EXPECT_NEAR(found[0].bounds.y, 700, 1.5);  // the baseline, give or take the glyphs' bottom
    EXPECT_NEAR(found[0].bounds.height, 13, 1.5);
    EXPECT_GT(found[0].bounds.width, 30);
  }
}

TEST(PDFTextSearchTest, LiteralAndCaseInsensitiveMatchingInReadingOrder) {
  TempDir dir;
  writeText(dir / "p.pdf", pdftest::documentPdf({{0, "[0 0 612 792]", "Sign HERE"},
                                                 {0, "[0 0 612 792]", "nothing"},
                                                 {0, "[0 0 612 792]", "sign here or here"}}));
  PDFTextSearch search(qpath(dir / "p.pdf"), {});
  ASSERT_EQ(search.pageCount(), 3);
  EXPECT_TRUE(search.findString("sign here", FindOptions::literal).size() == 1);
  const auto any = search.findString("here", FindOptions::caseInsensitive);
  ASSERT_EQ(any.size(), 3u);
  EXPECT_EQ(any[0].pageIndex, 0u);
  EXPECT_EQ(any[1].pageIndex, 2u);
  EXPECT_LT(any[1].bounds.x, any[2].bounds.x);
  EXPECT_TRUE(search.findString("", FindOptions::caseInsensitive).empty());
  EXPECT_TRUE(search.findString("absent", FindOptions::caseInsensitive).empty());
}

TEST(PDFTextSearchTest, ProtectedAndBrokenFiles) {
  TempDir dir;
  writeText(dir / "p.pdf", pdftest::documentPdf({{0, "[0 0 612 792]", "secret text"}}));
  const auto locked = pdftest::encrypted(dir / "p.pdf", "u");
  EXPECT_FALSE(PDFTextSearch(qpath(locked), "wrong").isLoaded());
  PDFTextSearch open(qpath(locked), "u");
  ASSERT_TRUE(open.isLoaded());
  EXPECT_EQ(open.findString("secret", FindOptions::literal).size(), 1u);

  writeText(dir / "junk.pdf", "%PDF-1.7 nothing here");
  PDFTextSearch junk(qpath(dir / "junk.pdf"), {});
  EXPECT_FALSE(junk.isLoaded());
  EXPECT_TRUE(junk.findString("x", FindOptions::literal).empty());
}

}  // namespace
