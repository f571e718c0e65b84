#include <gtest/gtest.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include "core/securepdf/HttpClient.hpp"
#include "core/verifier/RevocationChecker.hpp"
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

namespace answers {

using penvora::core::util::Owned;
using Status = penvora::core::verifier::CertificateStatus::Status;

Owned<X509, X509_free> certificate(const std::filesystem::path& pem) {
  Owned<BIO, BIO_free> bio(BIO_new_file(pem.c_str(), "r"));
  return Owned<X509, X509_free>(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

Owned<EVP_PKEY, EVP_PKEY_free> key(const std::filesystem::path& pem) {
  Owned<BIO, BIO_free> bio(BIO_new_file(pem.c_str(), "r"));
  return Owned<EVP_PKEY, EVP_PKEY_free>(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

Owned<ASN1_TIME, ASN1_TIME_free> at(std::time_t t) {
  return Owned<ASN1_TIME, ASN1_TIME_free>(ASN1_TIME_set(nullptr, t));
}

// A CRL of the CA issued at `issued`, due at `next`, naming `revoked` (the
// signer, revoked at `revokedAt`) when given.
penvora::core::util::Bytes crl(X509* ca, EVP_PKEY* caKey, std::time_t issued, std::time_t next, X509* revoked = nullptr,
                               std::time_t revokedAt = 0) {
  Owned<X509_CRL, X509_CRL_free> c(X509_CRL_new());
  X509_CRL_set_version(c.get(), 1);
  X509_CRL_set_issuer_name(c.get(), X509_get_subject_name(ca));
  X509_CRL_set1_lastUpdate(c.get(), at(issued).get());
  X509_CRL_set1_nextUpdate(c.get(), at(next).get());
  if (revoked) {
    X509_REVOKED* entry = X509_REVOKED_new();
    X509_REVOKED_set_serialNumber(entry, X509_get_serialNumber(revoked));
    X509_REVOKED_set_revocationDate(entry, at(revokedAt).get());
    X509_CRL_add0_revoked(c.get(), entry);
  }
  X509_CRL_sort(c.get());
  X509_CRL_sign(c.get(), caKey, EVP_sha256());
  return penvora::core::util::derOf(i2d_X509_CRL, c.get()).value();
}

// An OCSP response of the CA itself saying `cert` is good, produced at
// `issued`, due again at `next` (none for 0).
penvora::core::util::Bytes ocspGood(X509* ca, EVP_PKEY* caKey, X509* cert, std::time_t issued, std::time_t next) {
  Owned<OCSP_BASICRESP, OCSP_BASICRESP_free> basic(OCSP_BASICRESP_new());
  OCSP_CERTID* id = OCSP_cert_to_id(EVP_sha1(), cert, ca);
  OCSP_basic_add1_status(basic.get(), id, V_OCSP_CERTSTATUS_GOOD, 0, nullptr, at(issued).get(),
                         next ? at(next).get() : nullptr);
  OCSP_CERTID_free(id);
  OCSP_basic_sign(basic.get(), ca, caKey, EVP_sha256(), nullptr, OCSP_NOCERTS);
  Owned<OCSP_RESPONSE, OCSP_RESPONSE_free> resp(OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, basic.get()));
  return penvora::core::util::derOf(i2d_OCSP_RESPONSE, resp.get()).value();
}

}  // namespace answers

// A document's answers are judged against the time in question (the
// time-stamp's): one issued after it, or current then, counts; a stale one,
// or one dated ahead of this clock, says nothing, unless it says revoked.
TEST_F(TrustAndRevocationTest, AnAnswerCountsOnlyWhenItSpeaksOfTheTimeInQuestion) {
  using answers::Status;
  const auto ca = answers::certificate(pki.file("ca.pem"));
  const auto caKey = answers::key(pki.file("ca.key"));
  const auto signer = answers::certificate(pki.file("signer.pem"));
  ASSERT_TRUE(ca && caKey && signer);
  constexpr std::time_t kDay = 86400;
  const std::time_t now = std::time(nullptr), asked = now - 2 * kDay;
  const struct {
    const char* name;
    std::vector<penvora::core::util::Bytes> ocsps, crls;
    Status expected;
    const char* source;
  } cases[] = {
      {"CRL due before the time",
       {},
       {answers::crl(ca.get(), caKey.get(), now - 3 * kDay, asked - 3600)},
       Status::Unavailable,
       ""},
      {"CRL current then",
       {},
       {answers::crl(ca.get(), caKey.get(), now - 3 * kDay, now - kDay)},
       Status::Good,
       "CRL (DSS)"},
      {"CRL issued after",
       {},
       {answers::crl(ca.get(), caKey.get(), now - kDay, now + kDay)},
       Status::Good,
       "CRL (DSS)"},
      {"CRL dated ahead of the clock",
       {},
       {answers::crl(ca.get(), caKey.get(), now + kDay, now + 2 * kDay)},
       Status::Unavailable,
       ""},
      {"stale CRL that says revoked",
       {},
       {answers::crl(ca.get(), caKey.get(), now - 4 * kDay, now - 3 * kDay, signer.get(), now - 5 * kDay)},
       Status::Revoked,
       "CRL (DSS)"},
      {"OCSP due before the time",
       {answers::ocspGood(ca.get(), caKey.get(), signer.get(), now - 3 * kDay, asked - 3600)},
       {},
       Status::Unavailable,
       ""},
      {"OCSP without a next update, issued before",
       {answers::ocspGood(ca.get(), caKey.get(), signer.get(), now - 3 * kDay, 0)},
       {},
       Status::Unavailable,
       ""},
      {"OCSP issued after, a stale CRL beside it",
       {answers::ocspGood(ca.get(), caKey.get(), signer.get(), now - kDay, 0)},
       {answers::crl(ca.get(), caKey.get(), now - 3 * kDay, asked - 3600)},
       Status::Good,
       "OCSP (DSS)"},
  };
  for (const auto& c : cases) {
    penvora::core::util::X509StackView chain(sk_X509_new_null());
    sk_X509_push(chain.get(), signer.get());
    sk_X509_push(chain.get(), ca.get());
    const auto statuses = penvora::core::verifier::checkRevocation(chain.get(), c.ocsps, c.crls, nullptr, asked);
    ASSERT_EQ(statuses.size(), 1u) << c.name;
    EXPECT_EQ(statuses[0].status, c.expected) << c.name;
    EXPECT_EQ(statuses[0].source, c.source) << c.name;
  }
}

}  // namespace
