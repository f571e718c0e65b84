#pragma once
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

// The path of one of the built command-line tools, followed by a space.
inline std::string tool(const std::string& name) { return std::string(PENVORA_BINARY_DIR) + "/apps/" + name + " "; }

inline std::string fixture(const std::string& relative) {
  return std::string(PENVORA_SOURCE_DIR) + "/tests/fixtures/" + relative;
}

inline std::string readText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The names in a folder, sorted.
inline std::vector<std::string> entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline void writeText(const std::filesystem::path& p, std::string_view text) {
  std::ofstream(p, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The inflated form of a zlib stream (up to 4 MB), as an independent reader.
template <typename Buffer>
Buffer inflateZlib(const Buffer& z) {
  Buffer out(1 << 22);
  uLongf n = out.size();
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(z.data()), z.size()) != Z_OK)
    return {};
  out.resize(n);
  return out;
}

// The message of what `f` throws as E, or a note that it did not throw.
template <typename E = std::exception, typename F>
std::string errorOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<no error>";
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A fresh folder removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "penvora-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_, ec_); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
  std::error_code ec_;
};

// A PKCS#12 container of a fresh P-256 key and a certificate for `cn`,
// made with the openssl tools (`exportOptions` added to the export, e.g.
// "-legacy"); empty when they fail.
inline std::string makeIdentity(const std::string& cn, const std::string& password,
                                const std::string& exportOptions = "") {
  TempDir dir;
  const auto r = run("cd '" + dir.path().string() +
                     "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj '/CN=" + cn +
                     "' -keyout k.pem -out c.pem -days 2 2>/dev/null && openssl pkcs12 -export " + exportOptions +
                     " -inkey k.pem -in c.pem -passout 'pass:" + password + "' -out s.p12 && cat s.p12");
  return r.exitCode == 0 ? r.output : std::string();
}

// The default identity's certificate as a PEM file in the build tree,
// written by the signing tool (to a private name, then renamed: tests run
// in parallel), for the verifier's --trust.
inline std::string defaultIdentityPem() {
  static const std::string path = [] {
    const std::string p = std::string(PENVORA_BINARY_DIR) + "/tests/default-identity.pem";
    const std::string mine = p + "." + std::to_string(getpid());
    run(tool("penvora-sign") + "--print-certificate > '" + mine + "' && mv '" + mine + "' '" + p + "'");
    return p;
  }();
  return path;
}
// The verifier's option that trusts it.
inline std::string trustDefault() { return "--trust '" + defaultIdentityPem() + "' "; }

// Collects the component's log lines for the lifetime of the object.
class CapturedLog {
 public:
  CapturedLog() {
    penvora::setLogSink([this](std::string_view l) { lines.emplace_back(l); });
  }
  ~CapturedLog() { penvora::setLogSink({}); }
  bool contains(std::string_view line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  std::vector<std::string> lines;
};

}  // namespace testsupport
