#include "core/engine/TemporaryKeyFile.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace penvora::core::engine {

TemporaryKeyFile::TemporaryKeyFile(std::filesystem::path path) : path_(std::move(path)) {
  lock_ = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (lock_ >= 0) ::flock(lock_, LOCK_SH);
}

TemporaryKeyFile::~TemporaryKeyFile() {
  std::error_code ignored;  // nothing to do about a file already gone
  std::filesystem::remove(path_, ignored);
  if (lock_ >= 0) ::close(lock_);
}

}  // namespace penvora::core::engine
