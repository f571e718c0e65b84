#include "core/securepdf/Certificate.hpp"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Pkcs12.hpp"
#include "core/util/Sha512.hpp"

namespace penvora::core::securepdf {
namespace {

std::string nameText(X509_NAME* name) {
  BIO* bio = BIO_new(BIO_s_mem());
  X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string s(data, static_cast<std::size_t>(n));
  BIO_free(bio);
  return s;
}

std::string commonNameOf(X509_NAME* name) {
  int loc = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  if (loc < 0) return {};
  ASN1_STRING* s = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, loc));
  unsigned char* utf8 = nullptr;
  int n = ASN1_STRING_to_UTF8(&utf8, s);
  if (n < 0) return {};
  std::string out(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
  OPENSSL_free(utf8);
  return out;
}

}  // namespace

Certificate::Certificate(CertStoreTypes, const std::string& store, const std::string& password,
                         const std::string& selector) {
  util::loadOpenSslProviders();
  auto bytes = util::readFile(store);
  if (!bytes) throw SecurePdfError("Cannot read the certificate store " + store);
  const unsigned char* p = bytes->data();
  PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(bytes->size()));
  if (!p12) {
    ERR_clear_error();
    throw SecurePdfError("The certificate store is not a PKCS#12 file");
  }
  STACK_OF(X509)* ca = nullptr;
  const bool ok = PKCS12_parse(p12, password.c_str(), &key_, &cert_, &ca) == 1;
  PKCS12_free(p12);
  ERR_clear_error();
  if (ca) {
    for (int i = 0; i < sk_X509_num(ca); ++i) chain_.push_back(sk_X509_value(ca, i));
    sk_X509_free(ca);  // the certificates now belong to chain_
  }
  if (!ok || !key_ || !cert_) {
    release();
    throw SecurePdfError("The certificate store does not open with the given password or holds no private key");
  }
  if (X509_check_private_key(cert_, key_) != 1) {
    ERR_clear_error();
    release();
    throw SecurePdfError("The certificate store's key does not match its certificate");
  }
  subject_ = nameText(X509_get_subject_name(cert_));
  commonName_ = commonNameOf(X509_get_subject_name(cert_));
  if (commonName_.empty()) commonName_ = subject_;
  if (selector != "*" && !selector.empty() && subject_.find(selector) == std::string::npos) {
    release();
    throw SecurePdfError("No certificate with subject '" + selector + "' in the store");
  }
}

void Certificate::release() {
  EVP_PKEY_free(key_);
  X509_free(cert_);
  for (X509* c : chain_) X509_free(c);
  key_ = nullptr;
  cert_ = nullptr;
  chain_.clear();
}

Certificate::~Certificate() { release(); }

}  // namespace penvora::core::securepdf
