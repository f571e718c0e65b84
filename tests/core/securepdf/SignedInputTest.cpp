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

  // So is one whose signature a peer put on its page alone, outside the
  // form (poppler's does so when the document has a form already).
  writeText(dir / "plain.pdf", pdftest::documentPdf(std::vector<pdftest::PageSpec>(1), true));
  const auto peer = pdftest::signWithPdfsig(dir, dir / "plain.pdf", dir / "peer.pdf");
  ASSERT_EQ(peer.exitCode, 0) << peer.output;
  writeText(dir / "peer-damaged.pdf",
            pdftest::appendUpdate(testsupport::readText(dir / "peer.pdf"), {{99, "(an unsigned note)"}}, 7));
  ASSERT_EQ(pdftest::pdfsigValidations(dir / "peer-damaged.pdf"), std::vector<std::string>{"Signature is Valid."});
  auto afterPeer = pdftest::signer(dir / "peer-damaged.pdf", dir / "peer-twice.pdf");
  pdftest::expectFailure(afterPeer, "carries signatures and is damaged", dir.path());
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
  // A catalog naming every even number from 6 to 400, which the file never
  // defines: read as null, so once the file is signed, defining one would
  // change what the signature covers. (The first signature, of an unsigned
  // file, may take some.) The second signature's objects take the odd
  // numbers between, so the number after its last object, where a
  // cross-reference stream goes, is one of them too.
  std::string junk;
  for (int n = 6; n <= 400; n += 2) junk += pdftest::ref(n) + " ";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R /Junk [" + junk + "] >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>", pdftest::stream("", "BT ET")};
  for (const bool xrefStream : {false, true}) {
    SCOPED_TRACE(xrefStream ? "cross-reference stream" : "cross-reference table");
    TempDir dir;
    writeText(dir / "in.pdf", xrefStream ? pdftest::buildPdfWithXrefStream(objects) : pdftest::buildPdf(objects));
    pdftest::signer(dir / "in.pdf", dir / "once.pdf").sign();
    auto second = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
    second.signatureWidgetPages = "0";
    second.sign();
    const auto doc = penvora::verifySignatures((dir / "twice.pdf").string());
    ASSERT_EQ(doc.signatures.size(), 2u);
    for (const auto& s : doc.signatures) EXPECT_NE(s.modification, "disallowed") << s.field << ": " << s.problem;
    EXPECT_EQ(pdftest::pdfsigValidations(dir / "twice.pdf"), std::vector<std::string>(2, "Signature is Valid."));
  }
}
