#include "securepdf/TimestampClient.hpp"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <memory>

#include "securepdf/SecurePdfError.hpp"

namespace penvora::securepdf {
namespace {

constexpr std::size_t kMaxResponseBytes = 1 << 20;

template <typename T, void (*F)(T*)>
struct Deleter {
  void operator()(T* p) const { F(p); }
};
template <typename T, void (*F)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, F>>;

struct SplitUrl {
  std::string url, user, password;
};

SplitUrl split(const std::string& url) {
  SplitUrl s{url, {}, {}};
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return s;
  const auto hostStart = scheme + 3;
  const auto slash = url.find('/', hostStart);
  const auto at = url.rfind('@', slash == std::string::npos ? std::string::npos : slash);
  if (at == std::string::npos || at < hostStart) return s;
  const std::string cred = url.substr(hostStart, at - hostStart);
  const auto colon = cred.find(':');
  s.user = cred.substr(0, colon);
  if (colon != std::string::npos) s.password = cred.substr(colon + 1);
  s.url = url.substr(0, hostStart) + url.substr(at + 1);
  return s;
}

std::size_t collect(char* data, std::size_t size, std::size_t n, void* user) {
  auto* out = static_cast<std::string*>(user);
  if (out->size() + size * n > kMaxResponseBytes) return 0;  // aborts the transfer
  out->append(data, size * n);
  return size * n;
}

void curlInitOnce() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!ready) throw SecurePdfError("The HTTP client could not start");
}

std::string post(const SplitUrl& target, const std::string& shown, const Bytes& body) {
  curlInitOnce();
  Owned<CURL, curl_easy_cleanup> curl(curl_easy_init());
  if (!curl) throw SecurePdfError("The HTTP client could not start");
  std::string response;
  Owned<curl_slist, curl_slist_free_all> headers(curl_slist_append(nullptr, "Content-Type: application/timestamp-query"));
  char error[CURL_ERROR_SIZE] = {0};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, target.url.c_str());
  curl_easy_setopt(c, CURLOPT_POST, 1L);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(body.data()));
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kTimestampConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTimestampTotalTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  if (!target.user.empty()) {
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(c, CURLOPT_USERNAME, target.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, target.password.c_str());
  }
  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    const std::string why = rc == CURLE_OPERATION_TIMEDOUT ? "no answer in time" : curl_easy_strerror(rc);
    throw SecurePdfError("The time-stamp server " + shown + " could not be reached: " + why);
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200)
    throw SecurePdfError("The time-stamp server " + shown + " answered HTTP " + std::to_string(status));
  return response;
}

}  // namespace

std::string redactedUrl(const std::string& url) { return split(url).url; }

Bytes requestTimestampToken(const std::string& url, const Bytes& data) {
  const SplitUrl target = split(url);
  const std::string shown = target.url;
  if (shown.rfind("http://", 0) != 0 && shown.rfind("https://", 0) != 0)
    throw SecurePdfError("The time-stamp server address is not an http or https URL: " + shown);

  unsigned char imprint[SHA512_DIGEST_LENGTH];
  SHA512(data.data(), data.size(), imprint);

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
  ASN1_INTEGER_free(nonce.release());
  nonce.reset(BN_to_ASN1_INTEGER(bn.get(), nullptr));
  X509_ALGOR_set0(alg.get(), OBJ_nid2obj(NID_sha512), V_ASN1_NULL, nullptr);
  if (!nonce || !TS_MSG_IMPRINT_set_algo(mi.get(), alg.get()) ||
      !TS_MSG_IMPRINT_set_msg(mi.get(), imprint, sizeof imprint) || !TS_REQ_set_version(req.get(), 1) ||
      !TS_REQ_set_msg_imprint(req.get(), mi.get()) || !TS_REQ_set_nonce(req.get(), nonce.get()) ||
      !TS_REQ_set_cert_req(req.get(), 1))
    throw SecurePdfError("Cannot build the time-stamp request");
  unsigned char* der = nullptr;
  const int derLen = i2d_TS_REQ(req.get(), &der);
  if (derLen <= 0) throw SecurePdfError("Cannot encode the time-stamp request");
  const Bytes body(der, der + derLen);
  OPENSSL_free(der);

  const std::string answer = post(target, shown, body);

  // The answer.
  const auto* p = reinterpret_cast<const unsigned char*>(answer.data());
  Owned<TS_RESP, TS_RESP_free> resp(d2i_TS_RESP(nullptr, &p, static_cast<long>(answer.size())));
  ERR_clear_error();
  if (!resp) throw SecurePdfError("The time-stamp server " + shown + " sent an answer that is not a time-stamp response");
  const long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(TS_RESP_get_status_info(resp.get())));
  if (status != TS_STATUS_GRANTED && status != TS_STATUS_GRANTED_WITH_MODS)
    throw SecurePdfError("The time-stamp server " + shown + " refused the request (status " + std::to_string(status) + ")");
  PKCS7* token = TS_RESP_get_token(resp.get());
  TS_TST_INFO* info = TS_RESP_get_tst_info(resp.get());
  if (!token || !info) throw SecurePdfError("The time-stamp server " + shown + " sent no token");

  // Imprint and nonce must be ours; the signature must hold with the
  // TSA certificate in the token (trust is the validator's business).
  Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free> vctx(TS_REQ_to_TS_VERIFY_CTX(req.get(), nullptr));
  if (!vctx) throw SecurePdfError("Cannot check the time-stamp response");
  TS_VERIFY_CTX_set_flags(vctx.get(), TS_VFY_VERSION | TS_VFY_IMPRINT | TS_VFY_NONCE);
  if (TS_RESP_verify_response(vctx.get(), resp.get()) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The time-stamp server " + shown + " answered for another request (imprint or nonce differ)");
  }
  if (PKCS7_verify(token, nullptr, nullptr, nullptr, nullptr, PKCS7_NOVERIFY | PKCS7_NOCHAIN) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The time-stamp token from " + shown + " has a signature that does not verify");
  }

  unsigned char* out = nullptr;
  const int n = i2d_PKCS7(token, &out);
  if (n <= 0) throw SecurePdfError("Cannot encode the time-stamp token");
  Bytes result(out, out + n);
  OPENSSL_free(out);
  return result;
}

}  // namespace penvora::securepdf
