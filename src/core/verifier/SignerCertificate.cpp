#include "core/verifier/SignerCertificate.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/ess.h>
#include <openssl/x509v3.h>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::verifier {
namespace {

using util::Owned;

// The DER of a signed attribute's single SEQUENCE value, or null.
ASN1_STRING* sequenceAttribute(CMS_SignerInfo* si, int nid) {
  return static_cast<ASN1_STRING*>(CMS_signed_get0_data_by_OBJ(si, OBJ_nid2obj(nid), -3, V_ASN1_SEQUENCE));
}

}  // namespace

X509* signerCertificate(CMS_SignerInfo* si, STACK_OF(X509) * certs) {
  for (int i = 0; certs && i < sk_X509_num(certs); ++i)
    if (CMS_SignerInfo_cert_cmp(si, sk_X509_value(certs, i)) == 0) return sk_X509_value(certs, i);
  return nullptr;
}

SignerBinding checkSignerBinding(CMS_SignerInfo* si, X509* cert) {
  SignerBinding out;
  const uint32_t usage = X509_get_key_usage(cert);
  out.keyUsageAllowsSigning = (usage & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) != 0;

  Owned<ESS_SIGNING_CERT_V2, ESS_SIGNING_CERT_V2_free> v2;
  Owned<ESS_SIGNING_CERT, ESS_SIGNING_CERT_free> v1;
  if (ASN1_STRING* s = sequenceAttribute(si, NID_id_smime_aa_signingCertificateV2)) {
    const unsigned char* p = ASN1_STRING_get0_data(s);
    v2.reset(d2i_ESS_SIGNING_CERT_V2(nullptr, &p, ASN1_STRING_length(s)));
    if (!v2) out.attribute = "mismatch";  // present but unreadable names nothing
  }
  if (ASN1_STRING* s = sequenceAttribute(si, NID_id_smime_aa_signingCertificate)) {
    const unsigned char* p = ASN1_STRING_get0_data(s);
    v1.reset(d2i_ESS_SIGNING_CERT(nullptr, &p, ASN1_STRING_length(s)));
    if (!v1) out.attribute = "mismatch";
  }
  if (out.attribute.empty()) {
    if (!v1 && !v2) {
      out.attribute = "absent";
    } else {
      util::X509StackView chain(sk_X509_new_null());
      out.attribute = chain && sk_X509_push(chain.get(), cert) > 0 &&
                              OSSL_ESS_check_signing_certs(v1.get(), v2.get(), chain.get(), 1) > 0
                          ? "bound"
                          : "mismatch";
    }
  }
  ERR_clear_error();
  return out;
}

}  // namespace penvora::core::verifier
