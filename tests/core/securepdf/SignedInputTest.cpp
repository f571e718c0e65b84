#include <gtest/gtest.h>

#include "core/securepdf/PDFSign.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::core::securepdf;
using testsupport::readText, testsupport::TempDir, testsupport::writeText;

namespace {

// A signed file followed by an unsigned update whose startxref is wrong,
// as a careless tool writes it: readers must rebuild the cross-references.
std::string withDamagedUpdate(const std::string& signedPdf) {
  const auto number = [&](const std::string& key) {
    const auto at = signedPdf.rfind(key) + key.size();
    return signedPdf.substr(at, signedPdf.find_first_not_of("0123456789 R", at + 1) - at);
  };
  const std::string prev = number("startxref\n"), root = number("/Root ");
  const std::string object = "\n99 0 obj\n(an unsigned note)\nendobj\n";
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", signedPdf.size() + 1);
  const std::size_t xrefAt = signedPdf.size() + object.size();
  return signedPdf + object + "xref\n99 1\n" + entry + "trailer\n<< /Size 100 /Root " + root + " /Prev " + prev +
         " >>\nstartxref\n" + std::to_string(xrefAt + 7) + "\n%%EOF\n";
}

}  // namespace

TEST(SignedInputTest, ADamagedSignedFileIsNeverRewrittenSoEarlierSignaturesKeepTheirVerdict) {
  TempDir dir;
  writeText(dir / "in.pdf", pdftest::plainPdf(2));
  pdftest::signer(dir / "in.pdf", dir / "once.pdf").sign();
  writeText(dir / "damaged.pdf", withDamagedUpdate(readText(dir / "once.pdf")));
  ASSERT_EQ(pdftest::pdfsigValidations(dir / "damaged.pdf"), std::vector<std::string>{"Signature is Valid."});

  auto second = pdftest::signer(dir / "damaged.pdf", dir / "twice.pdf");
  second.signatureWidgetPages = "1";
  const std::string m = testsupport::errorOf<SecurePdfError>([&] { second.sign(); });
  EXPECT_NE(m.find("carries signatures and is damaged"), std::string::npos) << m;
  EXPECT_NE(m.find("xref"), std::string::npos) << "the damage is named: " << m;
  EXPECT_FALSE(std::filesystem::exists(dir / "twice.pdf"));
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
