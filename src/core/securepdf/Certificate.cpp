#include "core/securepdf/Certificate.hpp"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include "core/securepdf/IdentityCache.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/BoundedFile.hpp"
#include "core/util/Pkcs12.hpp"

namespace penvora::core::securepdf {
namespace {

using util::Owned;

std::string nameText(X509_NAME* name) {
  Owned<BIO, BIO_free> bio(BIO_new(BIO_s_mem()));
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
    throw SecurePdfError("Cannot read the certificate's subject");
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

std::string commonNameOf(X509_NAME* name) {
  int loc = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  if (loc < 0) return {};
  ASN1_STRING* s = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, loc));
  unsigned char* utf8 = nullptr;
  const int n = ASN1_STRING_to_UTF8(&utf8, s);
  util::OpenSslMemory<unsigned char> owned(utf8);
  if (n < 0) return {};
  return std::string(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
}

}  // namespace

void Certificate::decode(const std::string& bytes, const std::string& password) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  Owned<PKCS12, PKCS12_free> p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
  if (!p12) {
    ERR_clear_error();
    throw SecurePdfError("The certificate store is not a PKCS#12 file");
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  const bool ok = util::parsePkcs12(p12.get(), password, &key, &cert, &ca);
  key_.reset(key);
  cert_.reset(cert);
  ERR_clear_error();
  {
    // The certificates move to chain_, the stack alone is freed.
    util::X509StackView stack(ca);
    for (int i = 0; stack && i < sk_X509_num(stack.get()); ++i) chain_.emplace_back(sk_X509_value(stack.get(), i));
  }
  if (!ok || !key_ || !cert_) {
    throw SecurePdfError("The certificate store does not open with the given password or holds no private key");
  }
  if (X509_check_private_key(cert_.get(), key_.get()) != 1) {
    ERR_clear_error();
    throw SecurePdfError("The certificate store's key does not match its certificate");
  }
  IdentityCache::remember(bytes, password, key_.get(), cert_.get(), chain_);
}

Certificate::Certificate(CertStoreTypes, const std::string& store, const std::string& password,
                         const std::string& selector) {
  std::string bytes;
  try {
    bytes = util::readBoundedFile(store, util::kKeyFileLimit, "The certificate store");
  } catch (const util::FileReadError& e) {
    throw SecurePdfError(e.what());
  }
  if (auto cached = IdentityCache::find(bytes, password)) {
    key_ = std::move(cached->key);
    cert_ = std::move(cached->cert);
    chain_ = std::move(cached->chain);
  } else {
    decode(bytes, password);
  }
  subject_ = nameText(X509_get_subject_name(cert_.get()));
  commonName_ = commonNameOf(X509_get_subject_name(cert_.get()));
  if (commonName_.empty()) commonName_ = subject_;
  if (selector != "*" && !selector.empty() && subject_.find(selector) == std::string::npos) {
    throw SecurePdfError("No certificate with subject '" + selector + "' in the store");
  }
}

}  // namespace penvora::core::securepdf
