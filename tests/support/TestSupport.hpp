#pragma once
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "penvora/Log.hpp"

namespace testsupport {

// Runs a shell command; its exit code and standard output.
struct CommandResult {
  int exitCode = -1;
  std::string output;
};

inline CommandResult run(const std::string& command) {
  CommandResult r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string fixture(const std::string& relative) {
  return std::string(PENVORA_SOURCE_DIR) + "/tests/fixtures/" + relative;
}

inline std::string readText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void writeText(const std::filesystem::path& p, std::string_view text) {
  std::ofstream out(p, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// A fresh folder removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "penvora-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Collects the component's log lines for the lifetime of the object.
class CapturedLog {
 public:
  CapturedLog() {
    penvora::setLogSink([this](std::string_view l) { lines.emplace_back(l); });
  }
  ~CapturedLog() { penvora::setLogSink({}); }
  bool contains(std::string_view line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  std::vector<std::string> lines;
};

}  // namespace testsupport
