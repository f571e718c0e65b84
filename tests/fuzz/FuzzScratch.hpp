#pragma once
// A folder of the fuzzing process's own in the temporary folder, removed
// when the process ends (a run stopped by a finding keeps its input
// elsewhere, in libFuzzer's crash file).
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

class FuzzScratch {
 public:
  explicit FuzzScratch(const std::string& name)
      : dir_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir_);
  }
  ~FuzzScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  FuzzScratch(const FuzzScratch&) = delete;
  FuzzScratch& operator=(const FuzzScratch&) = delete;
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};
