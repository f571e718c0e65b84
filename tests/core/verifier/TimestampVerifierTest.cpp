// A token is proof of a time only from a TSA certificate valid at that
// time; the signer never accepts such a token, so it is made here directly.
#include <gtest/gtest.h>

#include "core/verifier/TimestampVerifier.hpp"
#include "support/TestPki.hpp"

using penvora::core::verifier::ChainResult, penvora::core::verifier::verifyTimestamp;
using testsupport::readText, testsupport::run, testsupport::TempDir, testsupport::writeText;

TEST(TimestampVerifierTest, ATokenOutsideItsTsaCertificatesValidityOrOverOtherDataProvesNothing) {
  pdftest::TestPki pki;
  TempDir dir;
  writeText(dir / "data", "the signature value");
  const auto tokenFrom = [&](const std::string& signer) {
    writeText(dir / "ts.cnf",
              "[ t ]\nserial = " + (dir / "serial").string() + "\nsigner_cert = " + pki.file(signer + ".pem").string() +
                  "\ncerts = " + pki.file("ca.pem").string() + "\nsigner_key = " + pki.file(signer + ".key").string() +
                  "\nsigner_digest = sha256\ness_cert_id_alg = sha256\n"
                  "default_policy = 1.3.6.1.4.1.62411.9.1\ndigests = sha512\n");
    writeText(dir / "serial", "01\n");
    const auto r = run("cd '" + dir.path().string() +
                       "' && openssl ts -query -data data -sha512 -cert -out q.tsq 2>&1 && openssl ts -reply -config "
                       "ts.cnf -section t -queryfile q.tsq -token_out -out token.der 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::string der = readText(dir / "token.der");
    return penvora::core::util::Bytes(der.begin(), der.end());
  };
  penvora::core::verifier::TrustStore trust;
  trust.add(pki.file("ca.pem").string());

  const auto good = verifyTimestamp(tokenFrom("tsa"), "the signature value", trust, nullptr);
  EXPECT_TRUE(good.intact) << good.problem;
  EXPECT_EQ(good.chain, ChainResult::Status::Valid) << good.problem;

  const auto old = verifyTimestamp(tokenFrom("tsa-2020"), "the signature value", trust, nullptr);
  EXPECT_TRUE(old.intact) << "its signature and imprint still hold";
  EXPECT_EQ(old.chain, ChainResult::Status::Invalid);
  EXPECT_EQ(old.problem, "the time-stamp's time lies outside the TSA certificate's validity");

  const auto other = verifyTimestamp(tokenFrom("tsa"), "another value", trust, nullptr);
  EXPECT_FALSE(other.intact);
  EXPECT_EQ(other.problem, "the time-stamp imprint is not the digest of the stamped data");
}
