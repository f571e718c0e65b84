#include "core/securepdf/RevocationFetcher.hpp"
#include "core/util/UrlUserinfo.hpp"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <memory>

#include "core/securepdf/HttpClient.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {
namespace {

using util::Owned;

template <typename T, typename Encode>
util::Bytes der(Encode i2d, T* object) {
  auto out = util::derOf(i2d, object);
  if (!out) throw SecurePdfError("Cannot encode the revocation data");
  return std::move(*out);
}

}  // namespace

std::vector<std::string> ocspUrls(X509* cert) {
  std::vector<std::string> out;
  Owned<STACK_OF(OPENSSL_STRING), X509_email_free> list(X509_get1_ocsp(cert));
  for (int i = 0; list && i < sk_OPENSSL_STRING_num(list.get()); ++i) {
    std::string u = sk_OPENSSL_STRING_value(list.get(), i);
    if (u.rfind("http://", 0) == 0 || u.rfind("https://", 0) == 0) out.push_back(u);
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
    for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
      GENERAL_NAME* gn = sk_GENERAL_NAME_value(names, j);
      if (gn->type != GEN_URI) continue;
      const auto* s = gn->d.uniformResourceIdentifier;
      std::string u(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                    static_cast<std::size_t>(ASN1_STRING_length(s)));
      if (u.rfind("http://", 0) == 0 || u.rfind("https://", 0) == 0) out.push_back(u);
    }
  }
  return out;
}

util::Bytes fetchOcspResponse(X509* cert, X509* issuer, const std::string& url) {
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

  const std::string answer = httpRequest(url, "OCSP responder", "application/ocsp-request", body);
  const auto* p = reinterpret_cast<const unsigned char*>(answer.data());
  Owned<OCSP_RESPONSE, OCSP_RESPONSE_free> resp(d2i_OCSP_RESPONSE(nullptr, &p, static_cast<long>(answer.size())));
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

  return der(i2d_OCSP_RESPONSE, resp.get());
}

util::Bytes fetchCrl(const std::string& url, X509* issuer) {
  const std::string answer = httpRequest(url, "CRL server");
  const auto* p = reinterpret_cast<const unsigned char*>(answer.data());
  Owned<X509_CRL, X509_CRL_free> crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(answer.size())));
  if (!crl) {
    Owned<BIO, BIO_free_all> bio(BIO_new_mem_buf(answer.data(), static_cast<int>(answer.size())));
    crl.reset(PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr));
  }
  ERR_clear_error();
  if (!crl) throw SecurePdfError("The CRL at " + util::withoutUserinfo(url) + " is not a certificate revocation list");
  if (X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), X509_get_subject_name(issuer)) != 0 ||
      X509_CRL_verify(crl.get(), X509_get0_pubkey(issuer)) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The CRL at " + util::withoutUserinfo(url) + " is not signed by " + util::subjectLine(issuer));
  }
  return der(i2d_X509_CRL, crl.get());
}

}  // namespace penvora::core::securepdf
