#pragma once
#include <filesystem>

namespace penvora::core::engine {

// Owns a temporary signing key file and removes it when it goes out of
// scope, so that no path through the signing routine can leave it behind.
class TemporaryKeyFile {
 public:
  explicit TemporaryKeyFile(std::filesystem::path path) : path_(std::move(path)) {}
  ~TemporaryKeyFile();
  TemporaryKeyFile(const TemporaryKeyFile&) = delete;
  TemporaryKeyFile& operator=(const TemporaryKeyFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace penvora::core::engine
