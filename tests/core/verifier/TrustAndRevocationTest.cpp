#include <gtest/gtest.h>

#include "core/securepdf/HttpClient.hpp"
#include "penvora/SignatureVerifier.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/TestPki.hpp"

using namespace penvora::core::securepdf;
using testsupport::readText, testsupport::run, testsupport::TempDir, testsupport::writeText;

namespace {

class TrustAndRevocationTest : public ::testing::Test {
 protected:
  void TearDown() override { setNetworkTimeouts(0, 0); }
  // `name`: a plain document signed by the test PKI's signer with a time-stamp.
  void sign(const std::string& name) {
    writeText(dir / "in.pdf", pdftest::plainPdf());
    auto s = pdftest::signer(dir / "in.pdf", dir / name);
    s.signingCert =
        std::make_shared<Certificate>(CertStoreTypes::cstPFXFile, pki.file("signer.p12").string(), "pw", "*");
    s.signatureProfile = PDFSignSignatureProfiles::pfBaselineT;
    s.timestampServer = tsa.url();
    s.sign();
  }
  penvora::VerifiedDocument verify(const std::string& name, bool trusted, bool online = false) {
    penvora::VerifyOptions o;
    if (trusted) o.trustAnchors = {pki.file("ca.pem").string()};
    o.online = online;
    return penvora::verifySignatures((dir / name).string(), o);
  }
  pdftest::TestPki pki;
  pdftest::TestTsa tsa{pki};
  TempDir dir;
};

TEST_F(TrustAndRevocationTest, ChainTimeStampAndRevocationDecideTheVerdict) {
  pki.startOcsp();
  sign("signed.pdf");
  PDFSign ltv;
  ltv.inputFile = (dir / "signed.pdf").string();
  ltv.outputFile = (dir / "ltv.pdf").string();
  ltv.timestampServer = tsa.url();
  ltv.validationPolicy = PDFSignValidationPolicies::vpFullNoTrust;
  ltv.update();
  // A flipped byte at the end of the token: the TSA's signature value.
  std::string broken = readText(dir / "signed.pdf");
  const auto sig = pdftest::signatures(broken).at(0);
  char& digit = broken[sig.range[1] + 1 + 2 * (sig.cmsDer.size() - 8)];
  digit = digit == '0' ? '1' : '0';
  writeText(dir / "broken-stamp.pdf", broken);

  const struct {
    const char* name;
    const char* file;
    bool trusted, online;
    const char* indication;
    const char* subIndication;
    const char* revocation;  // the signer's, "" when not asked
  } cases[] = {
      {"DSS and document time-stamp", "ltv.pdf", true, false, "TOTAL-PASSED", "", "good (OCSP (DSS))"},
      {"no anchors", "ltv.pdf", false, false, "INDETERMINATE", "NO_CERTIFICATE_CHAIN_FOUND", ""},
      {"no revocation data offline", "signed.pdf", true, false, "INDETERMINATE", "TRY_LATER", "unavailable ()"},
      {"revocation fetched online", "signed.pdf", true, true, "TOTAL-PASSED", "", "good (OCSP (online))"},
      {"signature time-stamp tampered", "broken-stamp.pdf", true, true, "INDETERMINATE", "SIG_CONSTRAINTS_FAILURE",
       "good (OCSP (online))"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto doc = verify(c.file, c.trusted, c.online);
    EXPECT_EQ(doc.indication, c.indication);
    for (const auto& s : doc.signatures) EXPECT_EQ(s.indication, c.indication) << s.field << ": " << s.verdictReason;
    const auto& s = doc.signatures.at(0);
    EXPECT_EQ(s.subIndication, c.subIndication) << s.verdictReason;
    const std::string revocation =
        s.revocation.empty() ? "" : s.revocation[0].status + " (" + s.revocation[0].source + ")";
    EXPECT_EQ(revocation, c.revocation);
  }
  const auto ltvDoc = verify("ltv.pdf", true);
  EXPECT_TRUE(ltvDoc.signatures.at(0).signingTimeProven);
  EXPECT_EQ(ltvDoc.signatures.at(0).signingCertificateBinding, "bound");
  EXPECT_EQ(ltvDoc.signatures.at(1).subFilter, "ETSI.RFC3161");
  EXPECT_EQ(ltvDoc.signatures.at(1).timestampStatus, "valid");

  // The tool's exit codes: passed 0, indeterminate 3, unreadable trust 2.
  const std::string verify = testsupport::tool("penvora-verify") + "'" + (dir / "ltv.pdf").string() + "' ";
  EXPECT_EQ(run(verify + "--trust '" + pki.file("ca.pem").string() + "'").exitCode, 0);
  const auto r = run(verify + "--json");
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_EQ(nlohmann::json::parse(r.output)["signatures"][0]["subIndication"], "NO_CERTIFICATE_CHAIN_FOUND");
  EXPECT_EQ(run(verify + "--trust '" + (dir / "in.pdf").string() + "' 2>&1").exitCode, 2);
}

TEST_F(TrustAndRevocationTest, ASignerRevokedBeforeItsTimeStampFails) {
  sign("signed.pdf");
  // Revoked in 2025, long before the time-stamp; the CRL says so (no OCSP).
  pki.revokeSigner();
  setNetworkTimeouts(1, 2);
  const auto s = verify("signed.pdf", true, true).signatures.at(0);
  EXPECT_EQ(s.indication, "TOTAL-FAILED");
  EXPECT_EQ(s.subIndication, "REVOKED") << s.verdictReason;
  ASSERT_FALSE(s.revocation.empty());
  EXPECT_EQ(s.revocation[0].source, "CRL (online)");
  EXPECT_EQ(s.revocation[0].revokedAt, "2025-01-01T00:00:00Z");
}

TEST_F(TrustAndRevocationTest, ACertificateExpiredBeforeItsTimeStampFails) {
  TempDir old;
  writeText(dir / "in.pdf", pdftest::plainPdf());
  auto s = pdftest::signer(dir / "in.pdf", dir / "late.pdf");
  s.signingCert = pdftest::selfSigned(old, "/CN=Expired Signer", "20200101000000Z", "20200201000000Z");
  s.signatureProfile = PDFSignSignatureProfiles::pfBaselineT;
  s.timestampServer = tsa.url();
  s.sign();
  penvora::VerifyOptions o;
  o.trustAnchors = {pki.file("ca.pem").string(), (old / "c.pem").string()};
  const auto v = penvora::verifySignatures((dir / "late.pdf").string(), o).signatures.at(0);
  EXPECT_TRUE(v.signingTimeProven);
  EXPECT_EQ(v.indication, "TOTAL-FAILED");
  EXPECT_EQ(v.subIndication, "EXPIRED") << v.verdictReason;
}

}  // namespace
