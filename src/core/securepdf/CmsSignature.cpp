#include "core/securepdf/CmsSignature.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {
namespace {

std::string opensslError() {
  unsigned long e = ERR_get_error();
  ERR_clear_error();
  if (!e) return "unknown error";
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  return buf;
}

// Adds one attribute value given as DER to the signed attributes.
void addCustom(CMS_SignerInfo* si, const CustomAttribute& a) {
  util::Owned<ASN1_OBJECT, ASN1_OBJECT_free> obj(OBJ_txt2obj(a.oid.c_str(), 1));
  if (!obj) throw SecurePdfError("Custom signed attribute identifier is not an OID: " + a.oid);
  const unsigned char* p = a.valueDer.data();
  util::Owned<ASN1_TYPE, ASN1_TYPE_free> value(d2i_ASN1_TYPE(nullptr, &p, static_cast<long>(a.valueDer.size())));
  if (!value || p != a.valueDer.data() + a.valueDer.size())
    throw SecurePdfError("Custom signed attribute " + a.oid + " is not one DER value");
  const int type = ASN1_TYPE_get(value.get());
  int ok;
  if (type == V_ASN1_SEQUENCE || type == V_ASN1_SET || type == V_ASN1_OTHER) {
    ASN1_STRING* s = value->value.sequence;  // holds the whole encoding
    ok = CMS_signed_add1_attr_by_OBJ(si, obj.get(), type, ASN1_STRING_get0_data(s), ASN1_STRING_length(s));
  } else if (type == V_ASN1_OBJECT) {
    ok = CMS_signed_add1_attr_by_OBJ(si, obj.get(), type, value->value.object, -1);
  } else if (type == V_ASN1_BOOLEAN || type == V_ASN1_NULL) {
    throw SecurePdfError("Custom signed attribute " + a.oid + " has an unsupported value type");
  } else {
    ASN1_STRING* s = value->value.asn1_string;
    ok = CMS_signed_add1_attr_by_OBJ(si, obj.get(), type, ASN1_STRING_get0_data(s), ASN1_STRING_length(s));
  }
  if (!ok) throw SecurePdfError("Cannot add custom signed attribute " + a.oid + ": " + opensslError());
}

// DER of the signed attributes as the signature covers them: a SET OF in
// DER order (OpenSSL writes the same order into the SignerInfo).
util::Bytes signedAttributesDer(CMS_SignerInfo* si) {
  std::vector<util::Bytes> items;
  const int n = CMS_signed_get_attr_count(si);
  for (int i = 0; i < n; ++i) {
    auto der = util::derOf(i2d_X509_ATTRIBUTE, CMS_signed_get_attr(si, i));
    if (!der) throw SecurePdfError("Cannot encode the signed attributes");
    items.push_back(std::move(*der));
  }
  std::sort(items.begin(), items.end(), [](const util::Bytes& a, const util::Bytes& b) {
    const std::size_t m = std::min(a.size(), b.size());
    int c = std::memcmp(a.data(), b.data(), m);
    return c != 0 ? c < 0 : a.size() < b.size();
  });
  util::Bytes content;
  for (const auto& it : items) content.insert(content.end(), it.begin(), it.end());
  util::Bytes out{0x31};
  const std::size_t len = content.size();
  if (len < 128) {
    out.push_back(static_cast<std::uint8_t>(len));
  } else {
    util::Bytes l;
    for (std::size_t v = len; v; v >>= 8) l.insert(l.begin(), static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(0x80 | l.size()));
    out.insert(out.end(), l.begin(), l.end());
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

}  // namespace

std::vector<CustomAttribute> parseCustomAttributes(const std::string& text) {
  std::vector<CustomAttribute> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) {
      auto eq = line.find('=');
      if (eq == std::string::npos || eq == 0) throw SecurePdfError("CustomSignedAttributes line without OID=HEX");
      CustomAttribute a{line.substr(0, eq), {}};
      const std::string hex = line.substr(eq + 1);
      const auto der = util::hexDecode(hex);
      if (hex.empty() || !der) throw SecurePdfError("CustomSignedAttributes value is not hexadecimal");
      a.valueDer = util::toBytes(*der);
      out.push_back(std::move(a));
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

const EVP_MD* digestNamed(const std::string& name) {
  std::string n;
  for (char c : name)
    if (c != '-' && c != '_') n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (n == "SHA256") return EVP_sha256();
  if (n == "SHA384") return EVP_sha384();
  if (n == "SHA512") return EVP_sha512();
  throw SecurePdfError("Unsupported signature hash algorithm: " + name);
}

namespace {

// With `sizing`, the signature value is a placeholder as long as the key
// allows, so the result has the final size without a private-key operation.
util::Bytes build(const Certificate& signer, const std::string& hashAlgorithm, const util::Bytes& digest,
                  const std::vector<CustomAttribute>& attributes,
                  const std::function<util::Bytes(const util::Bytes&)>& timestamp, bool sizing) {
  const EVP_MD* md = digestNamed(hashAlgorithm);
  const unsigned flags = CMS_PARTIAL | CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP | CMS_CADES;
  util::Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
  if (!cms) throw SecurePdfError("Cannot create the CMS signature: " + opensslError());
  CMS_SignerInfo* si = CMS_add1_signer(cms.get(), signer.certificate(), signer.key(), md, flags);
  if (!si) throw SecurePdfError("Cannot add the signer to the CMS signature: " + opensslError());
  for (const auto& c : signer.chain())
    if (CMS_add1_cert(cms.get(), c.get()) != 1) ERR_clear_error();  // a duplicate is fine

  ASN1_OBJECT* data = OBJ_nid2obj(NID_pkcs7_data);
  if (!CMS_signed_add1_attr_by_NID(si, NID_pkcs9_contentType, V_ASN1_OBJECT, data, -1) ||
      !CMS_signed_add1_attr_by_NID(si, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING, digest.data(),
                                   static_cast<int>(digest.size())))
    throw SecurePdfError("Cannot add the signed attributes: " + opensslError());
  for (const auto& a : attributes) addCustom(si, a);

  // Sign the attributes ourselves: OpenSSL's own signing step would add a
  // signing-time attribute, which PAdES baseline signatures must not carry.
  util::Bytes sig;
  if (sizing) {
    sig.assign(static_cast<std::size_t>(std::max(EVP_PKEY_get_size(signer.key()), 0)), 0xFF);
  } else {
    const util::Bytes toSign = signedAttributesDer(si);
    util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> mctx(EVP_MD_CTX_new());
    std::size_t sigLen = 0;
    if (!mctx || EVP_DigestSignInit(mctx.get(), nullptr, md, nullptr, signer.key()) != 1 ||
        EVP_DigestSign(mctx.get(), nullptr, &sigLen, toSign.data(), toSign.size()) != 1)
      throw SecurePdfError("Cannot sign: " + opensslError());
    sig.resize(sigLen);
    if (EVP_DigestSign(mctx.get(), sig.data(), &sigLen, toSign.data(), toSign.size()) != 1)
      throw SecurePdfError("Cannot sign: " + opensslError());
    sig.resize(sigLen);
  }
  if (ASN1_STRING_set(CMS_SignerInfo_get0_signature(si), sig.data(), static_cast<int>(sig.size())) != 1)
    throw SecurePdfError("Cannot store the signature value: " + opensslError());

  if (timestamp) {
    const util::Bytes token = timestamp(sig);
    if (!CMS_unsigned_add1_attr_by_NID(si, NID_id_smime_aa_timeStampToken, V_ASN1_SEQUENCE, token.data(),
                                       static_cast<int>(token.size())))
      throw SecurePdfError("Cannot add the time-stamp token: " + opensslError());
  }

  auto der = util::derOf(i2d_CMS_ContentInfo, cms.get());
  if (!der) throw SecurePdfError("Cannot encode the CMS signature: " + opensslError());
  return std::move(*der);
}

}  // namespace

util::Bytes buildCmsSignature(const Certificate& signer, const std::string& hashAlgorithm, const util::Bytes& digest,
                              const std::vector<CustomAttribute>& attributes,
                              const std::function<util::Bytes(const util::Bytes&)>& timestamp) {
  return build(signer, hashAlgorithm, digest, attributes, timestamp, false);
}

std::size_t cmsSignatureSize(const Certificate& signer, const std::string& hashAlgorithm, std::size_t digestSize,
                             const std::vector<CustomAttribute>& attributes) {
  return build(signer, hashAlgorithm, util::Bytes(digestSize, 0), attributes, {}, true).size();
}

}  // namespace penvora::core::securepdf
