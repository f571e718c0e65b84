#include "core/securepdf/ValidationData.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <map>
#include <memory>

#include "core/securepdf/RevocationFetcher.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"

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
  // A response fetched once serves every signature that shares the cert.
  std::map<util::Bytes, std::pair<std::vector<std::size_t>, std::vector<std::size_t>>> revocationOf;

  for (const util::Bytes& contents : signatureContents) {
    ValidationData::PerSignature vri;
    vri.key = sha1Hex(contents);
    std::vector<X509Ptr> pool = certificatesOf(contents);
    for (auto& cert : pool) {
      const util::Bytes der = derOf(cert.get());
      vri.certs.push_back(addTo(data.certs, certIndex, der));
      if (X509_check_issued(cert.get(), cert.get()) == X509_V_OK) continue;  // a root: nothing to ask
      const auto ocsp = ocspUrls(cert.get()), crl = crlUrls(cert.get());
      if (ocsp.empty() && crl.empty()) continue;  // publishes no status
      auto known = revocationOf.find(der);
      if (known == revocationOf.end()) {
        X509* issuer = nullptr;
        for (auto& candidate : pool)
          if (candidate != cert && X509_check_issued(candidate.get(), cert.get()) == X509_V_OK)
            issuer = candidate.get();
        if (!issuer)
          throw SecurePdfError("Validation data cannot be fetched for " + util::subjectLine(cert.get()) +
                               ": its issuer's certificate is not in the signature");
        std::pair<std::vector<std::size_t>, std::vector<std::size_t>> found;
        std::string lastError;
        for (const auto& url : ocsp) {
          try {
            found.first.push_back(addTo(data.ocsps, ocspIndex, fetchOcspResponse(cert.get(), issuer, url)));
            break;
          } catch (const SecurePdfError& e) {
            lastError = e.what();
          }
        }
        if (found.first.empty()) {
          for (const auto& url : crl) {
            try {
              found.second.push_back(addTo(data.crls, crlIndex, fetchCrl(url, issuer)));
              break;
            } catch (const SecurePdfError& e) {
              lastError = e.what();
            }
          }
        }
        if (found.first.empty() && found.second.empty())
          throw SecurePdfError("Validation data cannot be fetched for " + util::subjectLine(cert.get()) + ": " +
                               lastError);
        known = revocationOf.emplace(der, found).first;
      }
      vri.ocsps.insert(vri.ocsps.end(), known->second.first.begin(), known->second.first.end());
      vri.crls.insert(vri.crls.end(), known->second.second.begin(), known->second.second.end());
    }
    data.signatures.push_back(std::move(vri));
  }
  return data;
}

}  // namespace penvora::core::securepdf
