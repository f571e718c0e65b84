// The biometric protection of the engine: summary, protected record and the
// two custom signed attributes.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <memory>

#include "core/engine/AES.hpp"
#include "core/engine/BioAttributeIds.hpp"
#include "core/engine/DefaultIdentityData.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"
#include "core/util/Sha512.hpp"
#include "penvora/Log.hpp"

namespace penvora::core::engine {
namespace {

constexpr std::string_view kColumnLine = "X;Y;PRESS;SW;TIME";
constexpr std::string_view kDigestMarker = "SHA-2-512 PDF: ";

// Record text lines from its base64 form; nothing when it does not decode
// to UTF-8 text.
std::optional<std::vector<std::string>> recordLines(const std::string& recordB64) {
  auto bytes = util::base64DecodeIgnoringUnknown(recordB64);
  if (!bytes) return std::nullopt;
  std::string text = util::toString(*bytes);
  if (!util::isValidUtf8(text)) return std::nullopt;
  return ESSUtils::split(text, '\n');
}

using X509Ptr = util::Owned<X509, X509_free>;
using PkeyCtxPtr = util::Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

X509Ptr parseDer(const util::Bytes& der) { return util::certificateFromDer(der.data(), der.size()); }

void eraseAll(std::string& s, std::string_view what) {
  for (auto pos = s.find(what); pos != std::string::npos; pos = s.find(what)) s.erase(pos, what.size());
}

X509Ptr parseCertificate(const util::Bytes& bytes) {
  if (auto c = parseDer(bytes)) return c;
  // Not DER: the attempt's error must not stand for a later step's.
  ERR_clear_error();
  std::string text = util::toString(bytes);
  eraseAll(text, "-----BEGIN CERTIFICATE-----");
  eraseAll(text, "-----END CERTIFICATE-----");
  eraseAll(text, "\n");
  eraseAll(text, "\r");
  auto b = text.find_first_not_of(" \t");
  auto e = text.find_last_not_of(" \t");
  text = b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
  auto der = util::base64Decode(text);
  if (!der) return nullptr;
  return parseDer(*der);
}

std::string lastOpenSslError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (!code) return {};
  char buf[256];
  ERR_error_string_n(code, buf, sizeof buf);
  return buf;
}

// DER helpers for the definite-length parts of the EnvelopedData.
util::Bytes tlv(std::uint8_t tag, const util::Bytes& content) { return ESSUtils::derTagged(tag, content); }
util::Bytes concat(std::initializer_list<const util::Bytes*> parts) {
  util::Bytes out;
  for (const util::Bytes* p : parts) out.insert(out.end(), p->begin(), p->end());
  return out;
}

// Length-prefixed header walk for issuerAndSerial.
struct Header {
  std::uint8_t tag;
  std::size_t headerLength;
  std::size_t length;
};

std::optional<Header> readHeader(const util::Bytes& d, std::size_t pos) {
  if (pos + 2 > d.size()) return std::nullopt;
  Header h{d[pos], 2, d[pos + 1]};
  if (d[pos + 1] & 0x80) {
    std::size_t n = d[pos + 1] & 0x7F;
    if (n == 0 || n > 8 || pos + 2 + n > d.size()) return std::nullopt;
    std::size_t len = 0;
    for (std::size_t i = 0; i < n; ++i) len = (len << 8) | d[pos + 2 + i];
    h.headerLength = 2 + n;
    h.length = len;
  }
  if (h.length > d.size() - pos - h.headerLength) return std::nullopt;
  return h;
}

// The payload enciphered with a fresh AES-256 key and IV, and that key
// enciphered for the certificate's RSA key (PKCS #1 v1.5).
struct Sealed {
  util::Bytes encryptedKey, iv, ciphertext;
};

std::optional<Sealed> sealForCertificate(X509* cert, const util::Bytes& payload) {
  EVP_PKEY* publicKey = X509_get0_pubkey(cert);
  if (!publicKey) return std::nullopt;
  util::Bytes key(32);
  Sealed sealed;
  sealed.iv.resize(16);
  // The content key is wiped on every way out, failures included.
  struct Wiped {
    util::Bytes& bytes;
    ~Wiped() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
  } wipedKey{key};
  if (RAND_bytes(key.data(), 32) != 1 || RAND_bytes(sealed.iv.data(), 16) != 1) return std::nullopt;
  auto ciphertext = ESS::aesEncrypt(payload, key, sealed.iv);
  if (!ciphertext) return std::nullopt;
  sealed.ciphertext = std::move(*ciphertext);

  PkeyCtxPtr ctx(EVP_PKEY_CTX_new(publicKey, nullptr));
  std::size_t outLen = 0;
  if (!ctx || EVP_PKEY_get_base_id(publicKey) != EVP_PKEY_RSA || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &outLen, key.data(), key.size()) != 1) {
    penvora::log("RSA encrypt failed: " + lastOpenSslError());
    return std::nullopt;
  }
  sealed.encryptedKey.resize(outLen);
  if (EVP_PKEY_encrypt(ctx.get(), sealed.encryptedKey.data(), &outLen, key.data(), key.size()) != 1) {
    penvora::log("RSA encrypt failed: " + lastOpenSslError());
    return std::nullopt;
  }
  sealed.encryptedKey.resize(outLen);
  return sealed;
}

}  // namespace

std::optional<std::string> ESS::recordSummary(const std::string& recordB64) {
  auto lines = recordLines(recordB64);
  if (!lines || lines->size() <= 2) return std::nullopt;
  auto compressed = ESSUtils::compress(util::toBytes((*lines)[0] + "\r\n" + (*lines)[1]));
  if (!compressed) return std::nullopt;
  return util::base64Encode(*compressed);
}

std::optional<std::string> ESS::protectRecord(const std::string& recordB64,
                                              const std::optional<std::string>& encKeyB64) {
  auto lines = recordLines(recordB64);
  if (!lines || lines->size() < 3) return std::nullopt;
  auto binary = util::base64DecodeIgnoringUnknown(ESSUtils::pointsToBinary(*lines));
  if (!binary || binary->empty()) return std::nullopt;
  const util::Bytes certificate = util::toBytes(encryptionCertificateText(encKeyB64));
  auto payload = ESSUtils::compress(*binary);
  if (!payload) return std::nullopt;
  auto sealed = envelope(*payload, certificate);
  if (!sealed) {
    penvora::log("BIO DATA ENCRYPTION: No se pudo cifrar con Security.framework");
    return std::nullopt;
  }
  return util::base64Encode(*sealed);
}

std::string ESS::encryptionCertificateText(const std::optional<std::string>& encKeyB64) {
  if (encKeyB64) {
    auto bytes = util::base64DecodeIgnoringUnknown(*encKeyB64);
    if (bytes && util::isValidUtf8(util::toString(*bytes))) return util::toString(*bytes);
    penvora::log("Error, encoding key biometric not in b64 format");
    return *encKeyB64;
  }
  const std::string componentKey = kComponentKey;
  auto stored = util::base64DecodeIgnoringUnknown(kEncryptionCertificateB64);
  if (!stored) {
    penvora::log("Error, enc key bio");
    return {};
  }
  try {
    return AES(componentKey).decrypt(*stored);
  } catch (const AES::Error& e) {
    penvora::log(e.what());
    return {};
  }
}

std::optional<util::Bytes> ESS::aesEncrypt(const util::Bytes& payload, const util::Bytes& key, const util::Bytes& iv) {
  if (key.size() != 32 || iv.size() != 16) {
    penvora::log("aesEncrypt: CCCrypt failed with status -4300");  // parameter error
    return std::nullopt;
  }
  util::Owned<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free> ctx(EVP_CIPHER_CTX_new());
  util::Bytes out(payload.size() + 16);
  int n1 = 0, n2 = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data()) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &n1, payload.data(), static_cast<int>(payload.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + n1, &n2) != 1) {
    penvora::log("aesEncrypt: CCCrypt failed with status -4301");
    return std::nullopt;
  }
  out.resize(static_cast<std::size_t>(n1) + static_cast<std::size_t>(n2));
  return out;
}

std::optional<std::pair<util::Bytes, util::Bytes>> ESS::issuerAndSerial(const util::Bytes& der) {
  if (der.size() <= 4 || der[0] != 0x30) return std::nullopt;
  auto cert = readHeader(der, 0);
  if (!cert) return std::nullopt;
  std::size_t pos = cert->headerLength;
  auto tbs = readHeader(der, pos);
  if (!tbs || tbs->tag != 0x30) return std::nullopt;
  pos += tbs->headerLength;
  auto h = readHeader(der, pos);
  if (h && h->tag == 0xA0) {
    pos += h->headerLength + h->length;
    h = readHeader(der, pos);
  }
  if (!h || h->tag != 0x02) return std::nullopt;
  util::Bytes serial(der.begin() + static_cast<long>(pos + h->headerLength),
                     der.begin() + static_cast<long>(pos + h->headerLength + h->length));
  pos += h->headerLength + h->length;
  h = readHeader(der, pos);
  if (!h || h->tag != 0x30) return std::nullopt;
  pos += h->headerLength + h->length;
  h = readHeader(der, pos);
  if (!h || h->tag != 0x30) return std::nullopt;
  util::Bytes issuer(der.begin() + static_cast<long>(pos),
                     der.begin() + static_cast<long>(pos + h->headerLength + h->length));
  return std::make_pair(std::move(issuer), std::move(serial));
}

std::optional<util::Bytes> ESS::envelope(const util::Bytes& payload, const util::Bytes& certificate) {
  X509Ptr cert = parseCertificate(certificate);
  if (!cert) {
    ERR_clear_error();
    penvora::log("Could not parse encryption certificate");
    return std::nullopt;
  }
  const auto sealed = sealForCertificate(cert.get(), payload);
  if (!sealed) return std::nullopt;

  const auto der = util::derOf(i2d_X509, cert.get());
  if (!der) return std::nullopt;
  auto is = issuerAndSerial(*der);
  if (!is) {
    penvora::log("Could not extract issuer/serial from certificate");
    return std::nullopt;
  }

  static const util::Bytes oidEnvelopedData{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x03};
  static const util::Bytes oidData{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
  static const util::Bytes oidRsa{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
  static const util::Bytes oidAes256Cbc{0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x2A};
  static const util::Bytes version0{0x02, 0x01, 0x00};
  static const util::Bytes null{0x05, 0x00};
  static const util::Bytes eoc{0x00, 0x00};

  const util::Bytes serialInt = tlv(0x02, is->second);
  const util::Bytes issuerAndSerialNumber = tlv(0x30, concat({&is->first, &serialInt}));
  const util::Bytes keyEncAlg = tlv(0x30, concat({&oidRsa, &null}));
  const util::Bytes encKey = tlv(0x04, sealed->encryptedKey);
  const util::Bytes ktri = tlv(0x30, concat({&version0, &issuerAndSerialNumber, &keyEncAlg, &encKey}));
  const util::Bytes recipientInfos = tlv(0x31, ktri);
  const util::Bytes ivOctets = tlv(0x04, sealed->iv);
  const util::Bytes contentEncAlg = tlv(0x30, concat({&oidAes256Cbc, &ivOctets}));
  const util::Bytes cipherOctets = tlv(0x04, sealed->ciphertext);

  util::Bytes out;
  out.reserve(cipherOctets.size() + ktri.size() + 96);
  auto put = [&](const util::Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
  put({0x30, 0x80});
  put(oidEnvelopedData);
  put({0xA0, 0x80});
  put({0x30, 0x80});
  put(version0);
  put(recipientInfos);
  put({0x30, 0x80});
  put(oidData);
  put(contentEncAlg);
  put({0xA0, 0x80});
  put(cipherOctets);
  put(eoc);  // encryptedContent
  put(eoc);  // EncryptedContentInfo
  put(eoc);  // EnvelopedData
  put(eoc);  // content [0]
  put(eoc);  // ContentInfo
  return out;
}

bool ESS::addBioData(const std::string& recordB64, const std::optional<std::string>& encKeyB64,
                     securepdf::SignatureConfigurable& signer) {
  auto summary = recordSummary(recordB64);
  auto protectedRecord = protectRecord(recordB64, encKeyB64);
  if (!summary || !protectedRecord) return false;
  const std::string summaryHex = hexUpper(ESSUtils::derTagged(0x1A, util::toBytes(*summary)));
  const std::string protectedHex = hexUpper(ESSUtils::derTagged(0x1A, util::toBytes(*protectedRecord)));
  const std::string attributes =
      std::string(kBioSummaryAttributeOid) + "=" + summaryHex + "\r\n" + kBioDataAttributeOid + "=" + protectedHex;
  try {
    signer.config("ExtraSpace=" + std::to_string(summary->size() + protectedRecord->size()));
    signer.config("CustomSignedAttributes=" + attributes);
  } catch (const std::exception& e) {
    penvora::log(std::string("addBioData config error: ") + e.what());
    return false;
  }
  return true;
}

std::string ESS::restampDocumentHash(const std::string& recordB64, const std::string& documentPath) {
  auto recordBytes = util::base64Decode(recordB64);
  if (!recordBytes) return recordB64;
  std::string r = util::toString(*recordBytes);
  if (!util::isValidUtf8(r)) return recordB64;
  auto digest = util::sha512HexOfFile(documentPath);
  if (!digest) return recordB64;

  auto columns = r.find("\n" + std::string(kColumnLine));
  if (columns == std::string::npos) columns = r.find("\r\n" + std::string(kColumnLine));
  if (columns == std::string::npos) return recordB64;
  const std::string_view head(r.data(), columns);
  auto e = head.rfind(';');
  if (e == std::string_view::npos || e == 0) return recordB64;
  auto f = head.rfind(';', e - 1);
  if (f == std::string_view::npos) return recordB64;

  auto software = util::base64Decode(head.substr(f + 1, e - f - 1));
  if (!software) return recordB64;
  std::string t = util::toString(*software);
  if (!util::isValidUtf8(t)) return recordB64;
  auto marker = t.find(kDigestMarker);
  if (marker == std::string::npos) return recordB64;
  const std::string restamped = t.substr(0, marker + kDigestMarker.size()) + *digest;
  r.replace(f + 1, e - f - 1, util::base64Encode(restamped));
  return util::base64Encode(r);
}

}  // namespace penvora::core::engine
