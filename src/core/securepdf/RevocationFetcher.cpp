#include "core/securepdf/RevocationFetcher.hpp"
#include "core/util/UrlUserinfo.hpp"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <vector>

#include "core/securepdf/HttpClient.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {
namespace {

using util::Owned;
using util::timeOf;

template <typename T, typename Encode>
util::Bytes der(Encode i2d, T* object) {
  auto out = util::derOf(i2d, object);
  if (!out) throw SecurePdfError("Cannot encode the revocation data");
  return std::move(*out);
}

// Only http and https addresses are asked: no files, no other protocols.
bool isHttp(const std::string& url) { return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0; }

// A name that is an http or https address, as text.
std::optional<std::string> httpUri(const GENERAL_NAME* name) {
  if (!name || name->type != GEN_URI) return std::nullopt;
  const auto* s = name->d.uniformResourceIdentifier;
  std::string u(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                static_cast<std::size_t>(ASN1_STRING_length(s)));
  return isHttp(u) ? std::optional(u) : std::nullopt;
}

// Whether a CRL issued at `lastUpdate`, due again at `nextUpdate` (may be
// null), is current.
bool current(const ASN1_TIME* lastUpdate, const ASN1_TIME* nextUpdate) {
  const std::time_t now = std::time(nullptr);
  std::time_t early = now + kRevocationClockSkewSeconds, late = now - kRevocationClockSkewSeconds;
  // Without a next update the issuer says newer news is always at hand:
  // only a fresh one is current.
  // X509_cmp_time: -1 at or before, 1 after, 0 when unreadable.
  return lastUpdate && X509_cmp_time(lastUpdate, &early) == -1 &&
         X509_cmp_time(nextUpdate ? nextUpdate : lastUpdate, &late) == 1;
}

}  // namespace

bool issued(X509* issuer, X509* cert) {
  return X509_check_issued(issuer, cert) == X509_V_OK && X509_verify(cert, X509_get0_pubkey(issuer)) == 1;
}

std::vector<std::string> ocspUrls(X509* cert) {
  std::vector<std::string> out;
  Owned<STACK_OF(OPENSSL_STRING), X509_email_free> list(X509_get1_ocsp(cert));
  for (int i = 0; list && i < sk_OPENSSL_STRING_num(list.get()); ++i) {
    std::string u = sk_OPENSSL_STRING_value(list.get(), i);
    if (isHttp(u)) out.push_back(u);
  }
  return out;
}

std::vector<std::string> crlUrls(X509* cert) {
  std::vector<std::string> out;
  Owned<CRL_DIST_POINTS, CRL_DIST_POINTS_free> points(
      static_cast<CRL_DIST_POINTS*>(X509_get_ext_d2i(cert, NID_crl_distribution_points, nullptr, nullptr)));
  for (int i = 0; points && i < sk_DIST_POINT_num(points.get()); ++i) {
    DIST_POINT* dp = sk_DIST_POINT_value(points.get(), i);
    if (!dp->distpoint || dp->distpoint->type != 0) continue;
    GENERAL_NAMES* names = dp->distpoint->name.fullname;
    for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j)
      if (auto u = httpUri(sk_GENERAL_NAME_value(names, j))) out.push_back(*u);
  }
  return out;
}

RevocationAnswer fetchOcspResponse(X509* cert, X509* issuer, const std::string& url) {
  const std::string who = util::subjectLine(cert);
  Owned<OCSP_REQUEST, OCSP_REQUEST_free> req(OCSP_REQUEST_new());
  Owned<OCSP_CERTID, OCSP_CERTID_free> id(OCSP_cert_to_id(EVP_sha1(), cert, issuer));
  if (!req || !id || !OCSP_request_add0_id(req.get(), id.get()))
    throw SecurePdfError("Cannot build the OCSP request for " + who);
  (void)id.release();  // the request owns it now
  const auto reqDer =
      OCSP_request_add1_nonce(req.get(), nullptr, 16) == 1 ? util::derOf(i2d_OCSP_REQUEST, req.get()) : std::nullopt;
  if (!reqDer) throw SecurePdfError("Cannot build the OCSP request for " + who);
  const std::string body = util::toString(*reqDer);

  const std::string reply = httpRequest(url, "OCSP responder", "application/ocsp-request", body);
  const auto* p = reinterpret_cast<const unsigned char*>(reply.data());
  Owned<OCSP_RESPONSE, OCSP_RESPONSE_free> resp(d2i_OCSP_RESPONSE(nullptr, &p, static_cast<long>(reply.size())));
  ERR_clear_error();
  if (!resp)
    throw SecurePdfError("The OCSP responder " + util::withoutUserinfo(url) +
                         " sent an answer that is not an OCSP response");
  if (OCSP_response_status(resp.get()) != OCSP_RESPONSE_STATUS_SUCCESSFUL)
    throw SecurePdfError("The OCSP responder " + util::withoutUserinfo(url) + " refused the request for " + who + " (" +
                         OCSP_response_status_str(OCSP_response_status(resp.get())) + ")");
  Owned<OCSP_BASICRESP, OCSP_BASICRESP_free> basic(OCSP_response_get1_basic(resp.get()));
  if (!basic) throw SecurePdfError("The OCSP response for " + who + " holds no answer");
  if (OCSP_check_nonce(req.get(), basic.get()) == 0)
    throw SecurePdfError("The OCSP response for " + who + " answers another request (nonce differs)");
  // Signed by the issuer itself or a responder it certified.
  util::X509StackView trusted(sk_X509_new_null());
  Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  if (!trusted || sk_X509_push(trusted.get(), issuer) <= 0 || !store || X509_STORE_add_cert(store.get(), issuer) != 1)
    throw SecurePdfError("Cannot check the OCSP response for " + who);
  if (OCSP_basic_verify(basic.get(), trusted.get(), store.get(), OCSP_TRUSTOTHER | OCSP_PARTIAL_CHAIN) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The OCSP response for " + who + " is not signed by its issuer");
  }
  Owned<OCSP_CERTID, OCSP_CERTID_free> want(OCSP_cert_to_id(EVP_sha1(), cert, issuer));
  int status = -1, reason = 0;
  ASN1_GENERALIZEDTIME *rev = nullptr, *thisUpd = nullptr, *nextUpd = nullptr;
  if (!want || OCSP_resp_find_status(basic.get(), want.get(), &status, &reason, &rev, &thisUpd, &nextUpd) != 1)
    throw SecurePdfError("The OCSP response does not speak of " + who);
  if (status == V_OCSP_CERTSTATUS_UNKNOWN) throw SecurePdfError("The OCSP responder does not know " + who);
  if (OCSP_check_validity(thisUpd, nextUpd, kRevocationClockSkewSeconds, nextUpd ? -1 : kRevocationClockSkewSeconds) !=
      1) {
    ERR_clear_error();
    throw SecurePdfError("The OCSP response for " + who + " is not current (out of date, or dated ahead)");
  }
  RevocationAnswer answer{der(i2d_OCSP_RESPONSE, resp.get()), std::nullopt};
  if (status == V_OCSP_CERTSTATUS_REVOKED) answer.revokedAt = timeOf(rev);
  return answer;
}

RevocationAnswer fetchCrl(const std::string& url, X509* cert, X509* issuer) {
  const std::string reply = httpRequest(url, "CRL server");
  const auto* p = reinterpret_cast<const unsigned char*>(reply.data());
  Owned<X509_CRL, X509_CRL_free> crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(reply.size())));
  if (!crl) {
    Owned<BIO, BIO_free_all> bio(BIO_new_mem_buf(reply.data(), static_cast<int>(reply.size())));
    crl.reset(PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr));
  }
  ERR_clear_error();
  if (!crl) throw SecurePdfError("The CRL at " + util::withoutUserinfo(url) + " is not a certificate revocation list");
  if (X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), X509_get_subject_name(issuer)) != 0 ||
      X509_CRL_verify(crl.get(), X509_get0_pubkey(issuer)) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The CRL at " + util::withoutUserinfo(url) + " is not signed by " + util::subjectLine(issuer));
  }
  if (!current(X509_CRL_get0_lastUpdate(crl.get()), X509_CRL_get0_nextUpdate(crl.get())))
    throw SecurePdfError("The CRL at " + util::withoutUserinfo(url) + " is not current (out of date, or dated ahead)");
  RevocationAnswer found{der(i2d_X509_CRL, crl.get()), std::nullopt};
  X509_REVOKED* entry = nullptr;
  if (X509_CRL_get0_by_cert(crl.get(), &entry, cert) == 1)
    found.revokedAt = timeOf(X509_REVOKED_get0_revocationDate(entry));
  return found;
}

std::vector<std::string> issuerUrls(X509* cert) {
  std::vector<std::string> out;
  Owned<AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_free> aia(
      static_cast<AUTHORITY_INFO_ACCESS*>(X509_get_ext_d2i(cert, NID_info_access, nullptr, nullptr)));
  for (int i = 0; aia && i < sk_ACCESS_DESCRIPTION_num(aia.get()); ++i) {
    ACCESS_DESCRIPTION* ad = sk_ACCESS_DESCRIPTION_value(aia.get(), i);
    if (OBJ_obj2nid(ad->method) != NID_ad_ca_issuers) continue;
    if (auto u = httpUri(ad->location)) out.push_back(*u);
  }
  ERR_clear_error();
  return out;
}

X509* fetchIssuer(X509* cert, const std::string& url) {
  const std::string reply = httpRequest(url, "certificate server");
  std::vector<Owned<X509, X509_free>> found;
  const auto* p = reinterpret_cast<const unsigned char*>(reply.data());
  if (X509* one = d2i_X509(nullptr, &p, static_cast<long>(reply.size()))) found.emplace_back(one);
  if (found.empty()) {
    Owned<BIO, BIO_free_all> bio(BIO_new_mem_buf(reply.data(), static_cast<int>(reply.size())));
    if (X509* one = bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr) found.emplace_back(one);
  }
  if (found.empty()) {
    p = reinterpret_cast<const unsigned char*>(reply.data());
    Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(reply.size())));
    STACK_OF(X509)* certs = p7 && PKCS7_type_is_signed(p7.get()) ? p7->d.sign->cert : nullptr;
    for (int i = 0; i < sk_X509_num(certs); ++i)
      if (X509_up_ref(sk_X509_value(certs, i)) == 1) found.emplace_back(sk_X509_value(certs, i));
  }
  ERR_clear_error();
  for (auto& candidate : found)
    if (issued(candidate.get(), cert)) return candidate.release();
  ERR_clear_error();
  return nullptr;
}

}  // namespace penvora::core::securepdf
