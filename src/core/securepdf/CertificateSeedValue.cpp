#include "core/securepdf/CertificateSeedValue.hpp"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <vector>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {
namespace {

enum Required : long long { kSubject = 1, kIssuer = 2, kOid = 4, kSubjectDn = 8, kKeyUsage = 32, kUrl = 64 };

using X509Ptr = util::Owned<X509, X509_free>;

// The certificates an array of DER byte strings holds; unreadable items are
// left out.
std::vector<X509Ptr> certificatesIn(QPDFObjectHandle list) {
  std::vector<X509Ptr> out;
  for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i) {
    if (!list.getArrayItem(i).isString()) continue;
    const std::string der = list.getArrayItem(i).getStringValue();
    if (auto c = util::certificateFromDer(reinterpret_cast<const unsigned char*>(der.data()), der.size()))
      out.push_back(std::move(c));
  }
  ERR_clear_error();
  return out;
}

// Whether an item of the array passes `test`.
template <typename Test>
bool anyItem(QPDFObjectHandle list, Test test) {
  for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i)
    if (test(list.getArrayItem(i))) return true;
  return false;
}

// Whether the subject holds `value` for the attribute named `key` ("CN",
// "O", "emailAddress" or a dotted OID).
bool subjectHas(X509_NAME* subject, const std::string& key, const std::string& value) {
  const int nid = OBJ_txt2nid(key.c_str());
  if (nid == NID_undef) {
    ERR_clear_error();  // an attribute name OpenSSL does not know
    return false;
  }
  for (int at = X509_NAME_get_index_by_NID(subject, nid, -1); at >= 0;
       at = X509_NAME_get_index_by_NID(subject, nid, at)) {
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at)));
    const util::OpenSslMemory<unsigned char> owned(utf8);
    if (n < 0) ERR_clear_error();
    if (n >= 0 && std::string(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n)) == value) return true;
  }
  return false;
}

// One dictionary of attributes, all of which the subject must hold.
bool subjectMatches(X509_NAME* subject, QPDFObjectHandle wanted) {
  if (!wanted.isDictionary()) return false;
  for (const std::string& key : wanted.getKeys()) {
    QPDFObjectHandle v = wanted.getKey(key);
    if (!v.isString() || !subjectHas(subject, key.substr(1), v.getUTF8Value())) return false;
  }
  return true;
}

// A pattern of '0' (must be clear), '1' (must be set) and anything else
// (either), one character per key usage bit from digitalSignature on.
bool keyUsageMatches(X509* cert, const std::string& pattern) {
  static constexpr std::uint32_t kBits[] = {KU_DIGITAL_SIGNATURE, KU_NON_REPUDIATION, KU_KEY_ENCIPHERMENT,
                                            KU_DATA_ENCIPHERMENT, KU_KEY_AGREEMENT,   KU_KEY_CERT_SIGN,
                                            KU_CRL_SIGN,          KU_ENCIPHER_ONLY,   KU_DECIPHER_ONLY};
  // No extension: every use is allowed, so every bit counts as set.
  const std::uint32_t usage = X509_get_key_usage(cert);
  for (std::size_t i = 0; i < pattern.size() && i < std::size(kBits); ++i) {
    const bool set = (usage & kBits[i]) != 0;
    if ((pattern[i] == '0' && set) || (pattern[i] == '1' && !set)) return false;
  }
  return true;
}

bool hasPolicy(X509* cert, const std::string& wanted) {
  util::Owned<ASN1_OBJECT, ASN1_OBJECT_free> oid(OBJ_txt2obj(wanted.c_str(), 1));
  if (!oid) {
    // Not dotted text: the DER of the identifier, or its content bytes.
    const auto* p = reinterpret_cast<const unsigned char*>(wanted.data());
    oid.reset(d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(wanted.size())));
    ERR_clear_error();
  }
  if (!oid) return false;
  util::Owned<CERTIFICATEPOLICIES, CERTIFICATEPOLICIES_free> policies(
      static_cast<CERTIFICATEPOLICIES*>(X509_get_ext_d2i(cert, NID_certificate_policies, nullptr, nullptr)));
  for (int i = 0; policies && i < sk_POLICYINFO_num(policies.get()); ++i)
    if (OBJ_cmp(sk_POLICYINFO_value(policies.get(), i)->policyid, oid.get()) == 0) return true;
  return false;
}

// Whether the certificate's chain, built from the identity's certificates
// with every link's signature verified, reaches one of `issuers`. Carrying
// a listed certificate is not enough: it must have issued the chain.
// Validity dates are the validator's business, not the field's.
bool chainsTo(X509* cert, const Certificate& identity, const std::vector<X509Ptr>& issuers) {
  util::Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  util::X509StackView untrusted(sk_X509_new_null());
  util::Owned<X509_STORE_CTX, X509_STORE_CTX_free> ctx(X509_STORE_CTX_new());
  if (!store || !untrusted || !ctx || issuers.empty()) return false;
  for (const auto& issuer : issuers) X509_STORE_add_cert(store.get(), issuer.get());
  X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_NO_CHECK_TIME);
  for (const auto& c : identity.chain()) sk_X509_push(untrusted.get(), c.get());
  const bool reached =
      X509_STORE_CTX_init(ctx.get(), store.get(), cert, untrusted.get()) == 1 && X509_verify_cert(ctx.get()) == 1;
  ERR_clear_error();
  return reached;
}

}  // namespace

std::optional<std::string> unmetCertificateSeedValue(QPDFObjectHandle seed, const Certificate& identity) {
  if (!seed.isDictionary()) return std::nullopt;
  const long long required = seed.getKey("/Ff").isInteger() ? seed.getKey("/Ff").getIntValue() : 0;
  X509* cert = identity.certificate();
  if (!cert) return "a certificate, and the identity has none";

  if ((required & kSubject) && seed.getKey("/Subject").isArray()) {
    bool listed = false;
    for (const auto& c : certificatesIn(seed.getKey("/Subject"))) listed = listed || X509_cmp(c.get(), cert) == 0;
    if (!listed) return "one of the certificates it lists";
  }
  if ((required & kSubjectDn) && seed.getKey("/SubjectDN").isArray() &&
      !anyItem(seed.getKey("/SubjectDN"),
               [&](QPDFObjectHandle names) { return subjectMatches(X509_get_subject_name(cert), names); }))
    return "a certificate subject it lists, not " + util::subjectLine(cert);
  if ((required & kKeyUsage) && seed.getKey("/KeyUsage").isArray() &&
      !anyItem(seed.getKey("/KeyUsage"),
               [&](QPDFObjectHandle p) { return p.isString() && keyUsageMatches(cert, p.getStringValue()); }))
    return "a certificate key usage the signing certificate does not have";
  if ((required & kIssuer) && seed.getKey("/Issuer").isArray() &&
      !chainsTo(cert, identity, certificatesIn(seed.getKey("/Issuer"))))
    return "a certificate from an issuer it lists";
  // Policies count only beside issuers.
  if ((required & kOid) && seed.getKey("/OID").isArray() && seed.getKey("/Issuer").isArray() &&
      !anyItem(seed.getKey("/OID"),
               [&](QPDFObjectHandle o) { return o.isString() && hasPolicy(cert, o.getStringValue()); }))
    return "a certificate policy the signing certificate does not name";
  if ((required & kUrl) && seed.getKey("/URL").isString()) return "a certificate from a service at an address";
  return std::nullopt;
}

}  // namespace penvora::core::securepdf
