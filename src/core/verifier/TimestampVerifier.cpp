#include "core/verifier/TimestampVerifier.hpp"
#include "core/securepdf/TimestampClient.hpp"
#include "core/util/OpenSsl.hpp"
#include "core/verifier/SignerCertificate.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ts.h>
#include <openssl/x509v3.h>

#include <algorithm>

namespace penvora::core::verifier {
namespace {

using util::Owned;

constexpr std::time_t kClockSkewSeconds = securepdf::kTimestampClockSkewSeconds;

bool imprintHolds(TS_TST_INFO* tst, std::string_view data) {
  TS_MSG_IMPRINT* mi = TS_TST_INFO_get_msg_imprint(tst);
  const EVP_MD* md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(mi)->algorithm);
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!md || EVP_Digest(data.data(), data.size(), d, &n, md, nullptr) != 1) return false;
  ASN1_OCTET_STRING* m = TS_MSG_IMPRINT_get_msg(mi);
  return static_cast<unsigned>(ASN1_STRING_length(m)) == n && std::equal(d, d + n, ASN1_STRING_get0_data(m));
}

}  // namespace

TimestampCheck verifyTimestamp(const util::Bytes& token, std::string_view data, const TrustStore& trust,
                               STACK_OF(X509) * extra) {
  TimestampCheck out;
  const unsigned char* p = token.data();
  Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(token.size())));
  p = token.data();
  Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(token.size())));
  Owned<TS_TST_INFO, TS_TST_INFO_free> tst(p7 ? PKCS7_to_TS_TST_INFO(p7.get()) : nullptr);
  STACK_OF(CMS_SignerInfo)* infos = cms ? CMS_get0_SignerInfos(cms.get()) : nullptr;
  CMS_SignerInfo* si = infos && sk_CMS_SignerInfo_num(infos) == 1 ? sk_CMS_SignerInfo_value(infos, 0) : nullptr;
  if (!tst || !si) {
    ERR_clear_error();
    out.problem = "the time-stamp token cannot be read";
    return out;
  }
  out.time = util::timeOf(TS_TST_INFO_get_time(tst.get()));

  util::X509Stack certs(CMS_get1_certs(cms.get()));
  if (!certs) certs.reset(sk_X509_new_null());
  X509* tsa = nullptr;
  for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i)
    if (CMS_SignerInfo_cert_cmp(si, sk_X509_value(certs.get(), i)) == 0) tsa = sk_X509_value(certs.get(), i);
  if (tsa) out.authority = util::subjectLine(tsa);
  const bool signatureHolds = CMS_verify(cms.get(), nullptr, nullptr, nullptr, nullptr, CMS_NO_SIGNER_CERT_VERIFY) == 1;
  ERR_clear_error();
  if (!tsa || !signatureHolds) {
    out.problem = tsa ? "the time-stamp authority's signature does not hold" : "the token names no TSA certificate";
    return out;
  }
  if (!imprintHolds(tst.get(), data)) {
    out.problem = "the time-stamp imprint is not the digest of the stamped data";
    return out;
  }
  out.intact = true;
  if (X509_check_purpose(tsa, X509_PURPOSE_TIMESTAMP_SIGN, 0) != 1) {
    ERR_clear_error();
    out.chain = ChainResult::Status::Invalid;
    out.problem = "the TSA certificate is not meant for time-stamping";
    return out;
  }
  // As openssl ts -verify asks: the token names its TSA certificate, and
  // its time lies within that certificate's validity and not ahead of now.
  if (checkSignerBinding(si, tsa).attribute != "bound") {
    out.chain = ChainResult::Status::Invalid;
    out.problem = "the token's signing-certificate attribute does not name its TSA certificate";
    return out;
  }
  const std::time_t now = std::time(nullptr);
  // X509_cmp_time: -1 at or before, 1 after, 0 when unreadable.
  if (out.time == 0 || X509_cmp_time(X509_get0_notBefore(tsa), &out.time) != -1 ||
      X509_cmp_time(X509_get0_notAfter(tsa), &out.time) != 1 || out.time > now + kClockSkewSeconds) {
    out.chain = ChainResult::Status::Invalid;
    out.problem = out.time > now + kClockSkewSeconds
                      ? "the time-stamp's time is in the future"
                      : "the time-stamp's time lies outside the TSA certificate's validity";
    return out;
  }
  for (int i = 0; extra && i < sk_X509_num(extra); ++i) util::pushReference(certs.get(), sk_X509_value(extra, i));
  auto chain = validateChain(tsa, certs.get(), trust, std::time(nullptr));
  out.chain = chain.status;
  if (chain.status != ChainResult::Status::Valid) out.problem = "the TSA's chain: " + chain.problem;
  return out;
}

}  // namespace penvora::core::verifier
