#pragma once
#include <memory>

namespace penvora::securepdf {

// A unique_ptr that frees an OpenSSL object with its own free function:
// Owned<TS_REQ, TS_REQ_free>.
template <typename T, void (*Free)(T*)>
struct OpenSslFree {
  void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, OpenSslFree<T, Free>>;

}  // namespace penvora::securepdf
