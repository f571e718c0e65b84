#include "core/verifier/RevocationChecker.hpp"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/x509.h>

#include <optional>

#include "core/securepdf/RevocationFetcher.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::verifier {
namespace {

using util::Owned;
using util::timeOf;
using Status = CertificateStatus::Status;

// Whether an answer issued at `thisUpdate`, due again at `nextUpdate`
// (may be null), speaks of the time `at`: issued after it, or current
// then. An answer dated ahead of this machine's clock says nothing; one
// that says revoked keeps saying so.
bool speaksOf(const ASN1_TIME* thisUpdate, const ASN1_TIME* nextUpdate, std::time_t at, bool revoked) {
  const std::time_t issued = timeOf(thisUpdate);
  const long skew = securepdf::kRevocationClockSkewSeconds;
  if (issued == 0 || issued > std::time(nullptr) + skew) return false;
  return revoked || issued + skew >= at || (nextUpdate && timeOf(nextUpdate) + skew >= at);
}

// What one OCSP response (DER) says about `cert` at `at`, when it is a
// response about it signed by its issuer or the issuer's delegate.
std::optional<CertificateStatus> fromOcsp(const util::Bytes& der, X509* cert, X509* issuer, std::time_t at) {
  const unsigned char* p = der.data();
  Owned<OCSP_RESPONSE, OCSP_RESPONSE_free> resp(d2i_OCSP_RESPONSE(nullptr, &p, static_cast<long>(der.size())));
  if (!resp || OCSP_response_status(resp.get()) != OCSP_RESPONSE_STATUS_SUCCESSFUL) return std::nullopt;
  Owned<OCSP_BASICRESP, OCSP_BASICRESP_free> basic(OCSP_response_get1_basic(resp.get()));
  Owned<OCSP_CERTID, OCSP_CERTID_free> id(OCSP_cert_to_id(EVP_sha1(), cert, issuer));
  int status = -1, reason = 0;
  ASN1_GENERALIZEDTIME *revoked = nullptr, *thisUpdate = nullptr, *nextUpdate = nullptr;
  if (!basic || !id ||
      OCSP_resp_find_status(basic.get(), id.get(), &status, &reason, &revoked, &thisUpdate, &nextUpdate) != 1 ||
      status == V_OCSP_CERTSTATUS_UNKNOWN || !speaksOf(thisUpdate, nextUpdate, at, status == V_OCSP_CERTSTATUS_REVOKED))
    return std::nullopt;
  util::X509StackView trusted(sk_X509_new_null());
  Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  if (!trusted || sk_X509_push(trusted.get(), issuer) <= 0 || !store || X509_STORE_add_cert(store.get(), issuer) != 1 ||
      OCSP_basic_verify(basic.get(), trusted.get(), store.get(), OCSP_TRUSTOTHER | OCSP_PARTIAL_CHAIN) != 1)
    return std::nullopt;
  CertificateStatus out;
  out.status = status == V_OCSP_CERTSTATUS_REVOKED ? Status::Revoked : Status::Good;
  out.revokedAt = timeOf(revoked);
  return out;
}

// What one CRL (DER) says about `cert` at `at`, when the issuer signed it.
std::optional<CertificateStatus> fromCrl(const util::Bytes& der, X509* cert, X509* issuer, std::time_t at) {
  const unsigned char* p = der.data();
  Owned<X509_CRL, X509_CRL_free> crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size())));
  if (!crl || X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), X509_get_subject_name(issuer)) != 0 ||
      X509_CRL_verify(crl.get(), X509_get0_pubkey(issuer)) != 1)
    return std::nullopt;
  CertificateStatus out;
  X509_REVOKED* entry = nullptr;
  if (X509_CRL_get0_by_cert(crl.get(), &entry, cert) == 1) {
    out.status = Status::Revoked;
    out.revokedAt = timeOf(X509_REVOKED_get0_revocationDate(entry));
  } else {
    out.status = Status::Good;
  }
  if (!speaksOf(X509_CRL_get0_lastUpdate(crl.get()), X509_CRL_get0_nextUpdate(crl.get()), at,
                out.status == Status::Revoked))
    return std::nullopt;
  return out;
}

CertificateStatus withSource(CertificateStatus s, const char* source) {
  s.source = source;
  return s;
}

CertificateStatus statusOf(X509* cert, X509* issuer, const std::vector<util::Bytes>& ocsps,
                           const std::vector<util::Bytes>& crls, securepdf::FetchBudget* online, std::time_t at) {
  for (const auto& o : ocsps)
    if (auto s = fromOcsp(o, cert, issuer, at)) return withSource(*s, "OCSP (DSS)");
  for (const auto& c : crls)
    if (auto s = fromCrl(c, cert, issuer, at)) return withSource(*s, "CRL (DSS)");
  const auto ocspAt = securepdf::ocspUrls(cert);
  const auto crlAt = securepdf::crlUrls(cert);
  CertificateStatus out;
  if (ocspAt.empty() && crlAt.empty()) {
    out.status = Status::NoSource;
    out.problem = "the certificate names no OCSP responder or CRL";
    return out;
  }
  out.problem = "no revocation data in the document";
  if (!online) return out;
  std::string errors;
  std::optional<CertificateStatus> found;
  auto from = [&](std::optional<CertificateStatus> s, const char* source) {
    if (!s) throw securepdf::SecurePdfError("the answer does not speak of the signing time");
    found = withSource(*s, source);
  };
  if (online->firstAnswer(ocspAt, errors,
                          [&](const std::string& url) {
                            from(fromOcsp(securepdf::fetchOcspResponse(cert, issuer, url).der, cert, issuer, at),
                                 "OCSP (online)");
                          }) ||
      online->firstAnswer(crlAt, errors, [&](const std::string& url) {
        from(fromCrl(securepdf::fetchCrl(url, cert, issuer).der, cert, issuer, at), "CRL (online)");
      }))
    return *found;
  out.problem = errors;
  return out;
}

}  // namespace

std::vector<CertificateStatus> checkRevocation(STACK_OF(X509) * chain, const std::vector<util::Bytes>& ocsps,
                                               const std::vector<util::Bytes>& crls, securepdf::FetchBudget* online,
                                               std::time_t at) {
  std::vector<CertificateStatus> out;
  const int n = chain ? sk_X509_num(chain) : 0;
  for (int i = 0; i + 1 < n; ++i) {
    X509* cert = sk_X509_value(chain, i);
    auto s = statusOf(cert, sk_X509_value(chain, i + 1), ocsps, crls, online, at);
    s.subject = util::subjectLine(cert);
    s.isSigner = i == 0;
    out.push_back(std::move(s));
  }
  ERR_clear_error();
  return out;
}

}  // namespace penvora::core::verifier
