#include "core/engine/DocumentsFolder.hpp"

#include <cstdlib>
#include <fstream>
#include <string>

namespace penvora::core::engine {
namespace fs = std::filesystem;

namespace {

fs::path home() {
  const char* h = std::getenv("HOME");
  return h && *h ? fs::path(h) : fs::temp_directory_path();
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" from the user-dirs file, if any.
fs::path fromUserDirs() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const fs::path file = (config && *config ? fs::path(config) : home() / ".config") / "user-dirs.dirs";
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DOCUMENTS_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string v = line.substr(key.size());
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.rfind("$HOME", 0) == 0) return home() / v.substr(std::min<std::size_t>(v.size(), 6));
    if (!v.empty() && v.front() == '/') return v;
  }
  return {};
}

}  // namespace

fs::path documentsFolder() {
  fs::path dir = fromUserDirs();
  if (dir.empty() || dir == home()) dir = home() / "Documents";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

}  // namespace penvora::core::engine
