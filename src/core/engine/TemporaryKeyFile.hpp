#pragma once
#include <filesystem>

namespace penvora::core::engine {

// Owns a temporary signing key file and removes it when it goes out of
// scope, so that no path through the signing routine can leave it behind.
// While it lives it holds a shared lock on the file, which tells the
// clean-up of files left by killed signings that this one is in use.
class TemporaryKeyFile {
 public:
  explicit TemporaryKeyFile(std::filesystem::path path);
  ~TemporaryKeyFile();
  TemporaryKeyFile(const TemporaryKeyFile&) = delete;
  TemporaryKeyFile& operator=(const TemporaryKeyFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int lock_ = -1;
};

}  // namespace penvora::core::engine
