#include "core/securepdf/TimestampClient.hpp"

#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

#include "core/securepdf/HttpClient.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/OpenSsl.hpp"
#include "core/util/UrlUserinfo.hpp"

namespace penvora::core::securepdf {

using util::Owned;

namespace {

// What a validator asks of a token beyond its signature: a TSA certificate
// meant for time-stamping only, named by the token's signing-certificate
// attribute, valid now and at the token's time. Its chain to an anchor is
// the validator's business, so the token's own certificates stand in as
// anchors here.
void checkAsValidatorsWill(PKCS7* token, TS_TST_INFO* info, TS_REQ* req, const std::string& shown, std::time_t asked) {
  Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  STACK_OF(X509)* certs = PKCS7_type_is_signed(token) ? token->d.sign->cert : nullptr;
  for (int i = 0; store && i < sk_X509_num(certs); ++i) X509_STORE_add_cert(store.get(), sk_X509_value(certs, i));
  Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free> vctx(TS_REQ_to_TS_VERIFY_CTX(req, nullptr));
  if (!store || !vctx || X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN) != 1)
    throw SecurePdfError("Cannot check the time-stamp response");
  TS_VERIFY_CTX_set_store(vctx.get(), store.release());
  (void)TS_VERIFY_CTX_set_flags(vctx.get(), TS_VFY_SIGNATURE);
  if (TS_RESP_verify_token(vctx.get(), token) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The time-stamp token from " + shown +
                         " is not signed by a certificate meant for time-stamping, valid now and named in the token");
  }
  // First against this clock, then against the certificate.
  const ASN1_GENERALIZEDTIME* time = TS_TST_INFO_get_time(info);
  if (const char* problem = tokenTimeProblem(util::timeOf(time), asked, std::time(nullptr)))
    throw SecurePdfError("The time-stamp token from " + shown + " is dated " + problem);
  // The stack is new, its certificates the token's.
  util::X509StackView signers(PKCS7_get0_signers(token, nullptr, 0));
  X509* tsa = signers && sk_X509_num(signers.get()) == 1 ? sk_X509_value(signers.get(), 0) : nullptr;
  // ASN1_TIME_compare: -1, 0, 1, or -2 when unreadable.
  const int afterStart = tsa && time ? ASN1_TIME_compare(X509_get0_notBefore(tsa), time) : -2;
  const int beforeEnd = tsa && time ? ASN1_TIME_compare(time, X509_get0_notAfter(tsa)) : -2;
  if (afterStart > 0 || afterStart == -2 || beforeEnd > 0 || beforeEnd == -2) {
    ERR_clear_error();
    throw SecurePdfError("The time-stamp token from " + shown + " gives a time outside its TSA certificate's validity");
  }
}

}  // namespace

const char* tokenTimeProblem(std::time_t tokenTime, std::time_t asked, std::time_t answered) {
  if (tokenTime <= 0) return "at a time that cannot be read";
  if (tokenTime > answered + kTimestampClockSkewSeconds) return "ahead of this machine's clock";
  // A time before the request would move the signature back to when it did
  // not exist yet.
  if (tokenTime < asked - kTimestampClockSkewSeconds) return "before it was asked for";
  return nullptr;
}

util::Bytes requestTimestampToken(const std::string& url, const util::Bytes& data) {
  util::Bytes imprint(SHA512_DIGEST_LENGTH);
  SHA512(data.data(), data.size(), imprint.data());
  return requestTimestampTokenForDigest(url, imprint);
}

util::Bytes requestTimestampTokenForDigest(const std::string& url, const util::Bytes& imprint) {
  const std::string shown = util::withoutUserinfo(url);
  if (imprint.size() != SHA512_DIGEST_LENGTH) throw SecurePdfError("internal: time-stamp imprint is not SHA-512");

  // The request.
  Owned<TS_REQ, TS_REQ_free> req(TS_REQ_new());
  Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free> mi(TS_MSG_IMPRINT_new());
  Owned<X509_ALGOR, X509_ALGOR_free> alg(X509_ALGOR_new());
  Owned<ASN1_INTEGER, ASN1_INTEGER_free> nonce(ASN1_INTEGER_new());
  unsigned char nonceBytes[8];
  if (!req || !mi || !alg || !nonce || RAND_bytes(nonceBytes, sizeof nonceBytes) != 1)
    throw SecurePdfError("Cannot build the time-stamp request");
  nonceBytes[0] &= 0x7F;  // positive
  Owned<BIGNUM, BN_free> bn(BN_bin2bn(nonceBytes, sizeof nonceBytes, nullptr));
  if (!bn) throw SecurePdfError("Cannot build the time-stamp request");
  nonce.reset(BN_to_ASN1_INTEGER(bn.get(), nullptr));
  if (!nonce || X509_ALGOR_set0(alg.get(), OBJ_nid2obj(NID_sha512), V_ASN1_NULL, nullptr) != 1 ||
      !TS_MSG_IMPRINT_set_algo(mi.get(), alg.get()) ||
      !TS_MSG_IMPRINT_set_msg(mi.get(), const_cast<unsigned char*>(imprint.data()), static_cast<int>(imprint.size())) ||
      !TS_REQ_set_version(req.get(), 1) || !TS_REQ_set_msg_imprint(req.get(), mi.get()) ||
      !TS_REQ_set_nonce(req.get(), nonce.get()) || !TS_REQ_set_cert_req(req.get(), 1))
    throw SecurePdfError("Cannot build the time-stamp request");
  const auto body = util::derOf(i2d_TS_REQ, req.get());
  if (!body) throw SecurePdfError("Cannot encode the time-stamp request");

  const std::time_t asked = std::time(nullptr);
  const std::string answer =
      httpRequest(url, "time-stamp server", "application/timestamp-query", util::toString(*body));

  // The answer.
  const auto* p = reinterpret_cast<const unsigned char*>(answer.data());
  Owned<TS_RESP, TS_RESP_free> resp(d2i_TS_RESP(nullptr, &p, static_cast<long>(answer.size())));
  ERR_clear_error();
  if (!resp)
    throw SecurePdfError("The time-stamp server " + shown + " sent an answer that is not a time-stamp response");
  const long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(TS_RESP_get_status_info(resp.get())));
  if (status != TS_STATUS_GRANTED && status != TS_STATUS_GRANTED_WITH_MODS)
    throw SecurePdfError("The time-stamp server " + shown + " refused the request (status " + std::to_string(status) +
                         ")");
  PKCS7* token = TS_RESP_get_token(resp.get());
  TS_TST_INFO* info = TS_RESP_get_tst_info(resp.get());
  if (!token || !info) throw SecurePdfError("The time-stamp server " + shown + " sent no token");

  // Imprint and nonce must be ours; the signature must hold with the
  // TSA certificate in the token (trust is the validator's business).
  Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free> vctx(TS_REQ_to_TS_VERIFY_CTX(req.get(), nullptr));
  if (!vctx) throw SecurePdfError("Cannot check the time-stamp response");
  (void)TS_VERIFY_CTX_set_flags(vctx.get(), TS_VFY_VERSION | TS_VFY_IMPRINT | TS_VFY_NONCE);
  if (TS_RESP_verify_response(vctx.get(), resp.get()) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The time-stamp server " + shown + " answered for another request (imprint or nonce differ)");
  }
  if (PKCS7_verify(token, nullptr, nullptr, nullptr, nullptr, PKCS7_NOVERIFY | PKCS7_NOCHAIN) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The time-stamp token from " + shown + " has a signature that does not verify");
  }
  checkAsValidatorsWill(token, info, req.get(), shown, asked);

  auto result = util::derOf(i2d_PKCS7, token);
  if (!result) throw SecurePdfError("Cannot encode the time-stamp token");
  return std::move(*result);
}

}  // namespace penvora::core::securepdf
