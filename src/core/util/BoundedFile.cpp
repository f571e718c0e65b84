#include "core/util/BoundedFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace penvora::core::util {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& reason, const std::string& path) {
  throw FileReadError(what + " " + reason + ": " + path);
}

}  // namespace

RegularFile::RegularFile(const std::string& path, const std::string& what) {
  if (path.empty()) throw FileReadError(what + " is not named");
  // O_NONBLOCK: opening a pipe with no writer would otherwise wait forever.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) {
    const int e = errno;
    if (e == ENOENT || e == ENOTDIR) fail(what, "does not exist", path);
    fail(what, "cannot be read", path + ": " + std::strerror(e));
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int e = errno;
    ::close(fd_);
    fail(what, "cannot be read", path + ": " + std::strerror(e));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd_);
    fail(what, S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file", path);
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }

std::FILE* RegularFile::releaseAsStream() {
  std::FILE* stream = fdopen(fd_, "rb");
  if (stream) fd_ = -1;
  return stream;
}

bool readFullyAt(int fd, std::uint64_t offset, char* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::string sizeText(std::size_t bytes) {
  if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0)
    return std::to_string(bytes >> 20) + " MB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KB";
  return std::to_string(bytes) + " bytes";
}

std::string readBoundedFile(const std::string& path, std::size_t limit, const std::string& what) {
  RegularFile file(path, what);
  const std::string tooLarge = "is larger than " + sizeText(limit);
  if (file.size() > limit) fail(what, tooLarge, path);
  std::string out(static_cast<std::size_t>(file.size()), '\0');
  std::size_t done = 0;
  // One byte more than the limit allows shows a file that grew meanwhile.
  for (;;) {
    if (done == out.size()) {
      if (out.size() > limit) fail(what, tooLarge, path);
      out.resize(std::min(limit + 1, out.size() + 4096));
    }
    const ssize_t got = ::read(file.fd(), out.data() + done, out.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) fail(what, "cannot be read", path + ": " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  out.resize(done);
  return out;
}

}  // namespace penvora::core::util
