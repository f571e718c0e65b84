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
  const std::string verify = testsupport::tool("penvora-verify") + testsupport::trustDefault() + "--json ";
  const struct {
    const char* file;
    int page, exitCode;
    bool changed;
  } cases[] = {{"changed.pdf", 1, 1, true}, {"changed.pdf", 2, 1, false}, {"signed.pdf", 1, 0, false}};
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
  const auto r = run(verify + "'" + (dir / "signed.pdf").string() + "' --render-page 9 '" +
                     (dir / "page.png").string() + "' 2>&1");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("the document has no page 9"), std::string::npos) << r.output;
}
