#include <gtest/gtest.h>

#include "penvora/SignatureVerifier.hpp"
#include "support/UpdateSupport.hpp"

using testsupport::TempDir, testsupport::writeText;

TEST(RevisionAnalysisTest, EachLaterUpdateIsClassifiedAndOnlyPermittedChangesKeepTheSignatureValid) {
  using pdftest::ref, pdftest::replaced;
  TempDir dir;
  const std::string signedFile = pdftest::signedPlain(dir, 2);
  const auto b = pdftest::updateBase(signedFile);
  const std::string payMallory = pdftest::stream("", "BT /Helvetica 24 Tf 72 700 Td (PAY MALLORY 1,000,000 EUR) Tj ET");
  const pdftest::Objects newContent = {
      {b.size, payMallory},
      {b.page1, replaced(b.page1Dict, "/Contents " + ref(b.content1), "/Contents " + ref(b.size))}};
  const pdftest::Objects rewritten = {{b.content1, payMallory}};
  const pdftest::Objects note = {{b.size, "<< /Type /Annot /Subtype /Text /Rect [10 10 30 30] /Contents (ok) >>"},
                                 {b.page1, replaced(b.page1Dict, "/Annots [ ", "/Annots [ " + ref(b.size) + " ")}};
  const pdftest::Objects script = {{b.root, replaced(b.catalog, "<< ", "<< /OpenAction << /S /JavaScript >> ")}};
  const struct {
    const char* name;
    pdftest::Objects update;  // written after the signed revision
    const char* change;
    const char* modification;
    const char* detail;  // in the problem, when disallowed (else none)
  } cases[] = {
      {"new content stream for page 1", newContent, "other", "disallowed", "changes page 1's content"},
      {"page 1's content object re-pointed", rewritten, "other", "disallowed", "changes page 1's content"},
      {"same content written again", {{b.page1, b.page1Dict}}, "none", "none", ""},
      {"a note added to page 1", note, "annotations", "allowed", ""},
      {"catalog opens with a script", script, "other", "disallowed", "changes the catalog's /OpenAction"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(dir / "changed.pdf", pdftest::appendUpdate(signedFile, c.update));
    const auto doc = penvora::verifySignatures((dir / "changed.pdf").string());
    ASSERT_EQ(doc.signatures.size(), 1u);
    const auto& s = doc.signatures[0];
    EXPECT_TRUE(s.intact) << s.problem;
    EXPECT_EQ(s.revisionEnd, signedFile.size());
    ASSERT_EQ(s.laterUpdates.size(), 1u);
    EXPECT_EQ(s.laterUpdates[0].change, c.change) << s.laterUpdates[0].detail;
    EXPECT_EQ(s.modification, c.modification);
    EXPECT_EQ(s.valid, std::string(c.modification) != "disallowed");
    EXPECT_EQ(s.problem, *c.detail ? std::string("a later update ") + c.detail : "");
  }

  // The tool says so and fails.
  writeText(dir / "changed.pdf", pdftest::appendUpdate(signedFile, cases[0].update));
  const auto r = testsupport::run(testsupport::tool("penvora-verify") + "'" + (dir / "changed.pdf").string() + "'");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("modification: disallowed"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("changes page 1's content"), std::string::npos) << r.output;
}

TEST(RevisionAnalysisTest, ASecondSignatureInAnotherFieldIsAnAllowedChange) {
  TempDir dir;
  writeText(dir / "in.pdf", pdftest::documentPdf(std::vector<pdftest::PageSpec>(2), true));
  pdftest::signer(dir / "in.pdf", dir / "once.pdf").sign();
  auto second = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
  second.signatureWidgetPages = "1";
  second.sign();
  auto third = pdftest::signer(dir / "twice.pdf", dir / "thrice.pdf");
  third.signatureFields = 0;  // the empty field Sig1
  third.sign();
  const auto doc = penvora::verifySignatures((dir / "thrice.pdf").string());
  ASSERT_EQ(doc.signatures.size(), 3u);
  for (const auto& s : doc.signatures) {
    SCOPED_TRACE(s.field);
    EXPECT_TRUE(s.valid) << s.problem;
    EXPECT_NE(s.modification, "disallowed");
    for (const auto& u : s.laterUpdates) EXPECT_EQ(u.change, "form filling or signing") << u.detail;
  }
  const auto r = testsupport::run(testsupport::tool("penvora-verify") + testsupport::trustDefault() + "--json '" +
                                  (dir / "thrice.pdf").string() + "'");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const auto json = nlohmann::json::parse(r.output);
  std::size_t updates = 0;
  for (const auto& s : json["signatures"]) updates += s["revisions"].size();
  EXPECT_EQ(updates, 3u) << r.output;  // two after the first signature, one after the second
}
