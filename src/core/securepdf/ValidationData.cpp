#include "core/securepdf/ValidationData.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <optional>

#include "core/securepdf/FetchBudget.hpp"
#include "core/securepdf/RevocationFetcher.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"
#include "core/util/UrlUserinfo.hpp"

namespace penvora::core::securepdf {
namespace {

using util::Owned;
using X509Ptr = Owned<X509, X509_free>;

util::Bytes derOf(X509* x) {
  auto der = util::derOf(i2d_X509, x);
  if (!der) throw SecurePdfError("A certificate of the document cannot be encoded");
  return std::move(*der);
}

std::string sha1Hex(const util::Bytes& b) {
  unsigned char d[SHA_DIGEST_LENGTH];
  SHA1(b.data(), b.size(), d);
  return util::hexEncode(d, sizeof d);
}

// The certificates a signature carries, with those of its time-stamp.
std::vector<X509Ptr> certificatesOf(const util::Bytes& contents) {
  const unsigned char* p = contents.data();
  Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(
      d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(contents.size())));
  if (!cms) {
    ERR_clear_error();
    throw SecurePdfError("A signature of the document is not a readable CMS structure");
  }
  std::vector<X509Ptr> out;
  {
    // The certificates move to `out`, the stack alone is freed.
    util::X509StackView certs(CMS_get1_certs(cms.get()));
    for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i) out.emplace_back(sk_X509_value(certs.get(), i));
  }
  STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms.get());
  for (int i = 0; infos && i < sk_CMS_SignerInfo_num(infos); ++i) {
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(infos, i);
    const int at = CMS_unsigned_get_attr_by_NID(si, NID_id_smime_aa_timeStampToken, -1);
    if (at < 0) continue;
    ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(CMS_unsigned_get_attr(si, at), 0);
    if (!value || value->type != V_ASN1_SEQUENCE) continue;
    const unsigned char* q = value->value.sequence->data;
    Owned<PKCS7, PKCS7_free> token(d2i_PKCS7(nullptr, &q, value->value.sequence->length));
    if (!token || !PKCS7_type_is_signed(token.get())) continue;
    STACK_OF(X509)* certs = token->d.sign->cert;
    for (int k = 0; certs && k < sk_X509_num(certs); ++k) {
      X509* c = sk_X509_value(certs, k);
      if (X509_up_ref(c) == 1) out.emplace_back(c);
    }
  }
  ERR_clear_error();
  return out;
}

// Issuers fetched per signature: a chain longer than this, or one whose
// published issuers lead on and on, is not followed further.
constexpr std::size_t kFetchedIssuers = 4;

std::string revokedMessage(X509* cert, std::time_t at) {
  char when[32] = "";
  std::tm tm{};
  if (gmtime_r(&at, &tm)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return util::subjectLine(cert) + " is revoked (since " + when + "); its validation data would only prove that";
}

}  // namespace

ValidationData gatherValidationData(const std::vector<util::Bytes>& signatureContents) {
  ValidationData data;
  std::map<util::Bytes, std::size_t> certIndex, ocspIndex, crlIndex;
  auto addTo = [](std::vector<util::Bytes>& list, std::map<util::Bytes, std::size_t>& index, const util::Bytes& der) {
    auto it = index.find(der);
    if (it != index.end()) return it->second;
    list.push_back(der);
    return index[der] = list.size() - 1;
  };
  auto addOnce = [](std::vector<std::size_t>& list, std::size_t item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
  };
  // A response fetched once serves every signature that shares the cert.
  std::map<util::Bytes, std::pair<std::vector<std::size_t>, std::vector<std::size_t>>> revocationOf;
  // Issuers fetched for a certificate, for the next signature it serves:
  // they belong with its validation data too.
  std::map<util::Bytes, util::Bytes> fetchedIssuerOf;
  FetchBudget gathering;

  for (const util::Bytes& contents : signatureContents) {
    ValidationData::PerSignature vri;
    vri.key = sha1Hex(contents);
    std::vector<X509Ptr> pool = certificatesOf(contents);
    std::size_t fetchedIssuers = 0;
    // By index: an issuer fetched on the way joins the pool, and is asked
    // about in its turn.
    for (std::size_t c = 0; c < pool.size(); ++c) {
      X509* cert = pool[c].get();
      const util::Bytes der = derOf(cert);
      addOnce(vri.certs, addTo(data.certs, certIndex, der));
      if (X509_check_issued(cert, cert) == X509_V_OK) continue;  // a root: nothing to ask
      const auto ocsp = ocspUrls(cert), crl = crlUrls(cert);
      if (ocsp.empty() && crl.empty()) continue;  // publishes no status
      auto known = revocationOf.find(der);
      if (known == revocationOf.end()) {
        X509* issuer = nullptr;
        for (auto& candidate : pool)
          if (candidate.get() != cert && issued(candidate.get(), cert)) issuer = candidate.get();
        std::string errors;
        // Many authorities send their own certificate alone: its issuer is
        // where the certificate says it is published.
        if (!issuer && !gathering.firstAnswer(issuerUrls(cert), errors, [&](const std::string& url) {
              if (fetchedIssuers == kFetchedIssuers)
                throw SecurePdfError("more than " + std::to_string(kFetchedIssuers) + " issuers would be fetched");
              X509Ptr fetched(fetchIssuer(cert, url));
              if (!fetched)
                throw SecurePdfError("the certificate at " + util::withoutUserinfo(url) + " did not issue it");
              ++fetchedIssuers;
              issuer = fetched.get();
              fetchedIssuerOf[der] = derOf(issuer);
              pool.push_back(std::move(fetched));
            }))
          throw SecurePdfError("Validation data cannot be fetched for " + util::subjectLine(cert) +
                               ": its issuer's certificate is not in the signature" +
                               (errors.empty() ? "" : " (" + errors + ")"));
        std::pair<std::vector<std::size_t>, std::vector<std::size_t>> found;
        std::optional<std::time_t> revoked;
        auto keep = [&](const RevocationAnswer& answer, std::vector<util::Bytes>& list,
                        std::map<util::Bytes, std::size_t>& index, std::vector<std::size_t>& into) {
          if (answer.revokedAt) revoked = answer.revokedAt;
          into.push_back(addTo(list, index, answer.der));
        };
        const bool answered = gathering.firstAnswer(ocsp, errors, [&](const std::string& url) {
          keep(fetchOcspResponse(cert, issuer, url), data.ocsps, ocspIndex, found.first);
        }) || gathering.firstAnswer(crl, errors, [&](const std::string& url) {
          keep(fetchCrl(url, cert, issuer), data.crls, crlIndex, found.second);
        });
        if (!answered)
          throw SecurePdfError("Validation data cannot be fetched for " + util::subjectLine(cert) + ": " + errors);
        if (revoked) throw SecurePdfError(revokedMessage(cert, *revoked));
        known = revocationOf.emplace(der, found).first;
      }
      if (const auto fetched = fetchedIssuerOf.find(der); fetched != fetchedIssuerOf.end()) {
        X509Ptr again = util::certificateFromDer(fetched->second.data(), fetched->second.size());
        if (again && std::none_of(pool.begin(), pool.end(),
                                  [&](const X509Ptr& c) { return X509_cmp(c.get(), again.get()) == 0; }))
          pool.push_back(std::move(again));
      }
      for (std::size_t i : known->second.first) addOnce(vri.ocsps, i);
      for (std::size_t i : known->second.second) addOnce(vri.crls, i);
    }
    data.signatures.push_back(std::move(vri));
  }
  return data;
}

}  // namespace penvora::core::securepdf
