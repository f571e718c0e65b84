#include "core/securepdf/OriginalDigest.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include "core/securepdf/SecurePdfError.hpp"

namespace penvora::core::securepdf {

OriginalDigest::OriginalDigest(const EVP_MD* md, std::shared_ptr<const std::string> bytes,
                               std::shared_ptr<std::FILE> file, std::uint64_t size)
    : md_(md), stop_(std::make_shared<std::atomic<bool>>(false)) {
  // Everything the thread reads is its own (shared) copy: the source that
  // started it may be moved meanwhile.
  auto task = [md, bytes, file, size, stop = stop_] {
    util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1)
      throw SecurePdfError("Cannot start the document digest");
    if (bytes) {
      // In slices, so a stop is heard soon.
      constexpr std::size_t kSlice = 4u << 20;
      for (std::size_t done = 0; done < size && !*stop; done += kSlice)
        if (EVP_DigestUpdate(ctx.get(), bytes->data() + done, std::min<std::size_t>(kSlice, size - done)) != 1)
          throw SecurePdfError("Cannot compute the document digest");
      return ctx;
    }
    std::vector<char> buf(1 << 20);
    const int fd = fileno(file.get());
    for (std::uint64_t done = 0; done < size && !*stop;) {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - done));
      const ssize_t got = pread(fd, buf.data(), want, static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw SecurePdfError("The input file changed while signing");
      if (EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<std::size_t>(got)) != 1)
        throw SecurePdfError("Cannot compute the document digest");
      done += static_cast<std::uint64_t>(got);
    }
    return ctx;
  };
  try {
    result_ = std::async(std::launch::async, task);
  } catch (const std::system_error&) {
    result_ = std::async(std::launch::deferred, task);  // no thread to be had: hashed when taken
  }
}

OriginalDigest::~OriginalDigest() {
  *stop_ = true;
  if (result_.valid()) result_.wait();
}

util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> OriginalDigest::take() {
  if (!result_.valid()) throw SecurePdfError("internal: the document digest was taken already");
  return result_.get();
}

}  // namespace penvora::core::securepdf
