#include <gtest/gtest.h>

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
