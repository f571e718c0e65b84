#pragma once
#include <memory>

namespace penvora::core::securepdf {

// A unique_ptr that frees an OpenSSL object with its own free function:
// Owned<TS_REQ, TS_REQ_free>.
// Free functions that return a status (BIO_free) serve too.
template <typename T, auto Free>
struct OpenSslFree {
  void operator()(T* p) const { (void)Free(p); }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, OpenSslFree<T, Free>>;

}  // namespace penvora::core::securepdf
