#include <gtest/gtest.h>

#include "support/UpdateSupport.hpp"

using testsupport::readText, testsupport::run, testsupport::TempDir, testsupport::writeText;

TEST(PageRenderTest, ThePageAsSignedAndAsNowShowTheChangeInRed) {
  TempDir dir;
  const std::string signedFile = pdftest::signedPlain(dir, 2);
  const auto b = pdftest::updateBase(signedFile);
  writeText(dir / "changed.pdf",
            pdftest::appendUpdate(signedFile, {{b.content1, pdftest::stream("",
                                                                            "BT /F1 24 Tf 72 600 Td (PAY MALLORY "
                                                                            "1,000,000 EUR) Tj ET")}}));
  // A white square annotation over the whole page: as changed as new content.
  const std::string annots = b.page1Dict.find("/Annots [ ") != std::string::npos ? "/Annots [ " : "<< ";
  writeText(
      dir / "covered.pdf",
      pdftest::appendUpdate(
          signedFile, {{b.size, "<< /Type /Annot /Subtype /Square /Rect [0 0 612 792] /AP << /N " +
                                    pdftest::ref(b.size + 1) + " >> >>"},
                       {b.size + 1, pdftest::stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792]",
                                                    "1 1 1 rg 0 0 612 792 re f")},
                       {b.page1, pdftest::replaced(b.page1Dict, annots,
                                                   annots == "<< " ? "<< /Annots [ " + pdftest::ref(b.size) + " ] "
                                                                   : annots + pdftest::ref(b.size) + " ")}}));
  const std::string verify = testsupport::tool("penvora-verify") + testsupport::trustDefault() + "--json ";
  const struct {
    const char* file;
    int page, exitCode;
    bool changed;
  } cases[] = {{"changed.pdf", 1, 1, true},
               {"changed.pdf", 2, 1, false},
               {"signed.pdf", 1, 0, false},
               {"covered.pdf", 1, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " page " + std::to_string(c.page));
    std::filesystem::remove(dir / "page.png");
    const auto r = run(verify + "'" + (dir / c.file).string() + "' --render-page " + std::to_string(c.page) + " '" +
                       (dir / "page.png").string() + "'");
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    const auto json = nlohmann::json::parse(r.output, nullptr, false);
    ASSERT_TRUE(json.contains("pagePicture")) << r.output;
    EXPECT_EQ(json["pagePicture"]["differingPixels"].get<long long>() > 0, c.changed);
    EXPECT_EQ(readText(dir / "page.png").substr(1, 3), "PNG");
    if (const char* keep = std::getenv("PENVORA_KEEP_PICTURES"); keep && c.changed)
      std::filesystem::copy_file(dir / "page.png", std::filesystem::path(keep) / "page-change.png",
                                 std::filesystem::copy_options::overwrite_existing);
  }
  // A page the document does not have: named, nothing written.
  std::filesystem::remove(dir / "page.png");
  const std::string signedPdf = (dir / "signed.pdf").string();
  const auto r = run(verify + "'" + signedPdf + "' --render-page 9 '" + (dir / "page.png").string() + "' 2>&1");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("the document has no page 9"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(dir / "page.png"));

  // A picture kept on purpose, the document itself and any PDF are never
  // written over; --overwrite replaces a picture.
  writeText(dir / "kept.png", "kept");
  const struct {
    std::string out, flags, message;
  } refused[] = {{(dir / "kept.png").string(), "", "exists and is kept (--overwrite replaces it)"},
                 {signedPdf, "--overwrite ", "is one of the inputs"},
                 {(dir / "changed.pdf").string(), "--overwrite ", "is a PDF: a picture never replaces one"}};
  for (const auto& c : refused) {
    const auto refusal = run(verify + c.flags + "'" + signedPdf + "' --render-page 1 '" + c.out + "' 2>&1");
    EXPECT_EQ(refusal.exitCode, 2) << c.out;
    EXPECT_NE(refusal.output.find(c.message), std::string::npos) << refusal.output;
  }
  EXPECT_EQ(readText(dir / "kept.png"), "kept");
  EXPECT_EQ(readText(dir / "signed.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(
      run(verify + "--overwrite '" + signedPdf + "' --render-page 1 '" + (dir / "kept.png").string() + "'").exitCode,
      0);
  EXPECT_EQ(readText(dir / "kept.png").substr(1, 3), "PNG");
}
