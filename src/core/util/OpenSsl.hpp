#pragma once
#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

// The one owner of OpenSSL objects: a unique_ptr that frees with the
// object's own free function, Owned<TS_REQ, TS_REQ_free>. Free functions
// that return a status (BIO_free) serve too.
template <typename T, auto Free>
struct OpenSslFree {
  void operator()(T* p) const { (void)Free(p); }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, OpenSslFree<T, Free>>;

// Memory OpenSSL allocated for us (i2d_* output, UTF-8 conversions).
inline void freeOpenSslMemory(void* p) { OPENSSL_free(p); }
template <typename T>
using OpenSslMemory = Owned<T, freeOpenSslMemory>;

// A certificate stack with its certificates, or only the stack when the
// certificates have been handed on.
inline void freeX509StackAndCertificates(STACK_OF(X509) * s) { sk_X509_pop_free(s, X509_free); }
inline void freeX509StackOnly(STACK_OF(X509) * s) { sk_X509_free(s); }
using X509Stack = Owned<STACK_OF(X509), freeX509StackAndCertificates>;
using X509StackView = Owned<STACK_OF(X509), freeX509StackOnly>;

// An ASN1 time as seconds since the epoch (UTC); 0 when unreadable.
inline std::time_t timeOf(const ASN1_TIME* t) {
  std::tm tm{};
  return t && ASN1_TIME_to_tm(t, &tm) == 1 ? timegm(&tm) : 0;
}

// A certificate's subject as one line ("/C=ES/O=.../CN=..."), for reports
// and error texts; "?" when it cannot be printed.
inline std::string subjectLine(X509* cert) {
  char buf[256];
  return X509_NAME_oneline(X509_get_subject_name(cert), buf, sizeof buf) ? std::string(buf) : std::string("?");
}

// The encoding an i2d_* function writes; nothing when it fails.
template <typename T, typename Encode>
std::optional<Bytes> derOf(Encode i2d, T* object) {
  unsigned char* out = nullptr;
  const int n = i2d(object, &out);
  OpenSslMemory<unsigned char> owned(out);
  if (n <= 0 || !out) return std::nullopt;
  return Bytes(out, out + n);
}

// A certificate read from its DER encoding; none when it is not one.
inline Owned<X509, X509_free> certificateFromDer(const unsigned char* der, std::size_t size) {
  return Owned<X509, X509_free>(d2i_X509(nullptr, &der, static_cast<long>(size)));
}

// Hands `cert` to `stack`, which then frees it; freed here when the push
// fails. False when there was none or it could not be added.
inline bool pushOwned(STACK_OF(X509) * stack, Owned<X509, X509_free> cert) {
  if (!cert || sk_X509_push(stack, cert.get()) <= 0) return false;
  (void)cert.release();
  return true;
}

// Adds `cert` to `stack` as one more reference to it.
inline bool pushReference(STACK_OF(X509) * stack, X509* cert) {
  if (!cert || X509_up_ref(cert) != 1) return false;
  return pushOwned(stack, Owned<X509, X509_free>(cert));
}

}  // namespace penvora::core::util
