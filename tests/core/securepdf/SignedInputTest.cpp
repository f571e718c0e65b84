#include <gtest/gtest.h>

#include "penvora/SignatureVerifier.hpp"
#include "support/UpdateSupport.hpp"

using testsupport::TempDir, testsupport::writeText;

TEST(SignedInputTest, ADamagedSignedFileIsNeverRewrittenSoEarlierSignaturesKeepTheirVerdict) {
  TempDir dir;
  // An unsigned update whose startxref is wrong: readers must rebuild the cross-references.
  writeText(dir / "damaged.pdf", pdftest::appendUpdate(pdftest::signedPlain(dir, 2), {{99, "(an unsigned note)"}}, 7));
  ASSERT_EQ(pdftest::pdfsigValidations(dir / "damaged.pdf"), std::vector<std::string>{"Signature is Valid."});

  auto second = pdftest::signer(dir / "damaged.pdf", dir / "twice.pdf");
  second.signatureWidgetPages = "1";
  const std::string m = pdftest::expectFailure(second, "carries signatures and is damaged", dir.path());
  EXPECT_NE(m.find("xref"), std::string::npos) << "the damage is named: " << m;
}

TEST(SignedInputTest, BytesBeforeTheHeaderKeepTheFilesOwnOffsets) {
  TempDir dir;
  // A mail gateway's lines before %PDF: offsets in the file count from the header.
  writeText(dir / "in.pdf", "From: gateway\r\nX-Scanned: yes\r\n\r\n" + pdftest::plainPdf());
  pdftest::signer(dir / "in.pdf", dir / "once.pdf").sign();
  pdftest::signer(dir / "once.pdf", dir / "twice.pdf").sign();
  for (const char* name : {"once.pdf", "twice.pdf"}) EXPECT_TRUE(pdftest::qpdfCheckClean(dir / name)) << name;
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "twice.pdf"), std::vector<std::string>(2, "Signature is Valid."));
}

TEST(SignedInputTest, ANewObjectNeverTakesANumberTheSignedRevisionRefersToWithoutHavingIt) {
  TempDir dir;
  // A catalog naming objects 5 to 80, which the file never defines: read as
  // null, so defining one later would change what the first signature covers.
  std::string junk;
  for (int n = 5; n <= 80; ++n) junk += pdftest::ref(n) + " ";
  writeText(
      dir / "in.pdf",
      pdftest::buildPdf(
          {"<< /Type /Catalog /Pages 2 0 R /Junk [" + junk + "] >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>", pdftest::stream("", "BT ET")}));
  pdftest::signer(dir / "in.pdf", dir / "once.pdf").sign();
  auto second = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
  second.signatureWidgetPages = "0";
  second.sign();
  const auto doc = penvora::verifySignatures((dir / "twice.pdf").string());
  ASSERT_EQ(doc.signatures.size(), 2u);
  for (const auto& s : doc.signatures) EXPECT_NE(s.modification, "disallowed") << s.field << ": " << s.problem;
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "twice.pdf"), std::vector<std::string>(2, "Signature is Valid."));
}
