#include <gtest/gtest.h>

#include "support/UpdateSupport.hpp"

using testsupport::TempDir, testsupport::writeText;

namespace {

// A signed document made certified: an update points the catalog's
// /Perms /DocMDP at a signature dictionary carrying the DocMDP transform
// (`params` is its /TransformParams, e.g. "<< /P 1 >>").
std::string certified(const std::string& signedFile, const std::string& params) {
  const auto b = pdftest::updateBase(signedFile);
  return pdftest::appendUpdate(
      signedFile,
      {{b.size,
        "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /ETSI.CAdES.detached /Reference [<< "
        "/Type /SigRef /TransformMethod /DocMDP /TransformParams " +
            params + " >>] >>"},
       {b.root, pdftest::replaced(b.catalog, "<< ", "<< /Perms << /DocMDP " + pdftest::ref(b.size) + " >> ")}});
}

}  // namespace

TEST(CertifiedDocumentTest, NoChangesAllowedRefusesASignatureWhileFormFillingLevelsSign) {
  TempDir dir;
  const std::string signedFile = pdftest::signedPlain(dir, 2);
  const struct {
    const char* params;
    bool refused;
  } cases[] = {
      {"<< /P 1 /V /1.2 >>", true}, {"<< /P 2 /V /1.2 >>", false}, {"<< /V /1.2 >>", false}, {"<< /P 3 >>", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.params);
    writeText(dir / "certified.pdf", certified(signedFile, c.params));
    std::filesystem::remove(dir / "out.pdf");
    auto s = pdftest::signer(dir / "certified.pdf", dir / "out.pdf");
    s.signatureWidgetPages = "1";
    if (c.refused) {
      pdftest::expectFailure(s, "certified with DocMDP permission 1", dir.path());
      continue;
    }
    s.sign();
    EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf"),
              (std::vector<std::string>{"Signature is Valid.", "Signature is Valid."}));
    // On every page: where annotations may not be added (P 2, the default),
    // the picture stays on the first page; every validator still accepts
    // both signatures.
    std::filesystem::remove(dir / "out.pdf");
    auto all = pdftest::signer(dir / "certified.pdf", dir / "out.pdf");
    all.signatureWidgetPages = "*";
    all.sign();
    const std::string text = pdftest::qdf(dir / "out.pdf");
    const bool annotationsAllowed = std::string(c.params).find("/P 3") != std::string::npos;
    EXPECT_EQ(pdftest::occurrences(text, "/Subtype /Stamp"), annotationsAllowed ? 1u : 0u);
    EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf"),
              (std::vector<std::string>{"Signature is Valid.", "Signature is Valid."}));
  }
}
