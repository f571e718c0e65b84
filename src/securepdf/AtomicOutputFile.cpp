#include "securepdf/AtomicOutputFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "securepdf/SecurePdfError.hpp"

namespace penvora::securepdf {
namespace fs = std::filesystem;

namespace {
std::string reason() { return std::strerror(errno); }
}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::string& target, bool overwrite) : target_(target), overwrite_(overwrite) {
  if (target.empty()) throw SecurePdfError("No output file given");
  if (!overwrite && fs::exists(target)) throw SecurePdfError("The output file exists and overwrite is off: " + target);
  fs::path p(target);
  fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
  std::string tmpl = (dir / ("." + p.filename().string() + ".XXXXXX.part")).string();
  fd_ = ::mkstemps(tmpl.data(), 5);
  if (fd_ < 0) throw SecurePdfError("Cannot create the output file in " + dir.string() + ": " + reason());
  temp_ = tmpl;
  ::fchmod(fd_, 0644);
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
  if (::close(fd_) != 0) {
    fd_ = -1;
    throw SecurePdfError("Writing the output file failed: " + reason());
  }
  fd_ = -1;
  if (!overwrite_ && fs::exists(target_)) throw SecurePdfError("The output file appeared meanwhile: " + target_);
  if (::rename(temp_.c_str(), target_.c_str()) != 0)
    throw SecurePdfError("Cannot move the output file into place: " + reason());
  committed_ = true;
}

}  // namespace penvora::securepdf
