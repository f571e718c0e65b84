#pragma once
#include <openssl/evp.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <future>
#include <memory>
#include <string>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {

// The digest of a document's original bytes, which every signature's
// first byte range starts with, computed on a thread of its own from the
// moment the document is opened: it then runs beside the parse and the
// planning instead of after them (or, with no thread to be had, when it is
// taken). Stopped and waited for on destruction.
class OriginalDigest {
 public:
  // Hashes `size` bytes of `bytes`, or of `file` (read with pread, which
  // leaves the position of other readers of it alone).
  OriginalDigest(const EVP_MD* md, std::shared_ptr<const std::string> bytes, std::shared_ptr<std::FILE> file,
                 std::uint64_t size);
  ~OriginalDigest();
  OriginalDigest(const OriginalDigest&) = delete;
  OriginalDigest& operator=(const OriginalDigest&) = delete;

  bool isFor(const EVP_MD* md) const { return md && EVP_MD_get_type(md) == EVP_MD_get_type(md_); }
  // Waits for it: a context past the original bytes, for the caller to
  // go on with. Throws SecurePdfError when they could not be read. Once.
  util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> take();

 private:
  const EVP_MD* md_;
  std::shared_ptr<std::atomic<bool>> stop_;
  std::future<util::Owned<EVP_MD_CTX, EVP_MD_CTX_free>> result_;
};

}  // namespace penvora::core::securepdf
