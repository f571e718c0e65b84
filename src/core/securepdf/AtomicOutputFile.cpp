#include "core/securepdf/AtomicOutputFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/FileReplace.hpp"

namespace penvora::core::securepdf {
namespace fs = std::filesystem;

namespace {
std::string reason() { return std::strerror(errno); }

// The temporary folder is shared with every account on the machine: what
// lands there (a merge of decrypted documents, a privately stored signed
// copy) is readable by its owner only.
mode_t modeFor(const fs::path& dir) {
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (!ec && fs::equivalent(dir, temp, ec)) return 0600;
  return 0644;
}
}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::string& target, bool overwrite) : target_(target), overwrite_(overwrite) {
  if (target.empty()) throw SecurePdfError("No output file given");
  try {
    util::checkReplaceable(target, overwrite);
  } catch (const util::FileReplaceError& e) {
    throw SecurePdfError(e.what());
  }
  fs::path p(target);
  fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
  // An unnamed file first: a process killed while writing leaves nothing
  // behind. File systems without O_TMPFILE get a named temporary instead.
  const mode_t mode = modeFor(dir);
  fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (fd_ >= 0) {
    unnamed_ = true;
    return;
  }
  std::string tmpl = util::temporaryStemBeside(target) + ".XXXXXX.part";
  fd_ = ::mkstemps(tmpl.data(), 5);
  if (fd_ < 0) throw SecurePdfError("Cannot create the output file in " + dir.string() + ": " + reason());
  temp_ = tmpl;
  ::fchmod(fd_, mode);
}

AtomicOutputFile::~AtomicOutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicOutputFile::write(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd_, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw SecurePdfError("Writing the output file failed: " + reason());
    done += static_cast<std::size_t>(n);
  }
  size_ += size;
}

void AtomicOutputFile::copyFrom(int in, std::uint64_t length) {
  loff_t from = 0;
  while (static_cast<std::uint64_t>(from) < length) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length - from, 1u << 30));
    const ssize_t n = ::copy_file_range(in, &from, fd_, nullptr, want, 0);
    if (n > 0) {
      size_ += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) throw SecurePdfError("The input file changed while signing");
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EPERM)
      throw SecurePdfError("Writing the output file failed: " + reason());
    // Across file systems, or where the kernel cannot: through a buffer.
    std::vector<char> buf(1 << 20);
    while (static_cast<std::uint64_t>(from) < length) {
      const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length - from, buf.size()));
      const ssize_t got = ::pread(in, buf.data(), chunk, from);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw SecurePdfError("The input file changed while signing");
      write(buf.data(), static_cast<std::size_t>(got));
      from += got;
    }
  }
  startWriteback();
}

void AtomicOutputFile::startWriteback() {
  (void)::sync_file_range(fd_, 0, static_cast<off_t>(size_), SYNC_FILE_RANGE_WRITE);
}

void AtomicOutputFile::writeAt(std::uint64_t offset, const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::pwrite(fd_, s.data() + done, s.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw SecurePdfError("Writing the output file failed: " + reason());
    done += static_cast<std::size_t>(n);
  }
}

void AtomicOutputFile::commit() {
  if (::fsync(fd_) != 0) throw SecurePdfError("Writing the output file failed: " + reason());
  if (unnamed_) {
    // Give the finished file a temporary name, then rename it over the
    // target (linkat cannot replace an existing file).
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 16 && temp_.empty(); ++attempt) {
      std::string name = util::temporaryStemBeside(target_) + "." + std::to_string(::getpid()) + "." +
                         std::to_string(attempt) + ".part";
      if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        temp_ = name;
      else if (errno != EEXIST)
        throw SecurePdfError("Cannot name the output file: " + reason());
    }
    if (temp_.empty()) throw SecurePdfError("Cannot name the output file: " + reason());
  }
  if (::close(fd_) != 0) {
    fd_ = -1;
    throw SecurePdfError("Writing the output file failed: " + reason());
  }
  fd_ = -1;
  try {
    util::moveIntoPlace(temp_, target_, overwrite_);
  } catch (const util::FileReplaceError& e) {
    throw SecurePdfError(e.what());
  }
  committed_ = true;
}

}  // namespace penvora::core::securepdf
