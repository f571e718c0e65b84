// Signing identities of the engine: the default identity, its password and
// the temporary PKCS#12 file handed to the signing library.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "core/engine/AES.hpp"
#include "core/engine/DefaultIdentityData.hpp"
#include "core/engine/DomainError.hpp"
#include "core/engine/ESS.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Hex.hpp"
#include "penvora/Log.hpp"

namespace penvora::core::engine {
namespace fs = std::filesystem;

namespace {
constexpr const char* kTempPrefix = "signcert-";
constexpr const char* kTempSuffix = ".p12";
}  // namespace

std::string newUuidString() {
  unsigned char b[16];
  // The kernel's generator: no library to start up for sixteen bytes.
  if (getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b)) {
    // Fall back to a time-and-pid based value rather than fail the signing.
    auto t = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(t >> (8 * i));
    auto p = static_cast<std::uint64_t>(getpid());
    for (int i = 0; i < 8; ++i) b[8 + i] = static_cast<unsigned char>(p >> (8 * i));
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  return util::hexEncode(b, 4) + "-" + util::hexEncode(b + 4, 2) + "-" + util::hexEncode(b + 6, 2) + "-" +
         util::hexEncode(b + 8, 2) + "-" + util::hexEncode(b + 10, 6);
}

std::string ESS::certificatePassword(const std::optional<std::string>& password) {
  if (password) return *password;
  const std::string componentKey = kComponentKey;
  if (componentKey.size() != 32) {
    penvora::log(toString(AES::ErrorCode::invalidKeySize));
    return {};
  }
  auto stored = util::base64Decode(kPasswordB64);
  if (!stored) {
    penvora::log("Error, certificate password");
    return {};
  }
  std::string text;
  try {
    text = AES(componentKey).decrypt(*stored);
  } catch (const AES::Error& e) {
    penvora::log(e.what());
    return {};
  }
  auto bytes = util::base64DecodeIgnoringUnknown(text);
  if (!bytes) return {};
  std::string result = util::toString(*bytes);
  return util::isValidUtf8(result) ? result : std::string();
}

std::optional<util::Bytes> ESS::defaultIdentity() {
  const std::string componentKey = kComponentKey;
  if (componentKey.size() != 32) {
    penvora::log("CERTIFICATE ERROR");
    return std::nullopt;
  }
  auto stored = util::base64DecodeIgnoringUnknown(kIdentityB64);
  if (!stored) return std::nullopt;
  std::string text;
  try {
    text = AES(componentKey).decrypt(*stored);
  } catch (const AES::Error&) {
    penvora::log("CERTIFICATE ERROR");
    return std::nullopt;
  }
  return util::base64DecodeIgnoringUnknown(text);
}

fs::path ESS::writeTempP12(const util::Bytes& container) {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) throw DomainError("PenvoraSDK", 1, "Error writing temp p12");
  fs::path path = dir / (kTempPrefix + newUuidString() + kTempSuffix);
  // O_EXCL: never follow or reuse a file someone else placed there.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (fd < 0) throw DomainError("PenvoraSDK", 1, "Error writing temp p12");
  std::size_t written = 0;
  bool ok = true;
  while (written < container.size()) {
    ssize_t n = ::write(fd, container.data() + written, container.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    fs::remove(path, ec);
    throw DomainError("PenvoraSDK", 1, "Error writing temp p12");
  }
  return path;
}

void ESS::removeStaleTempP12Files(std::chrono::seconds minimumAge) {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) return;
  const uid_t me = getuid();
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(kTempPrefix, 0) != 0 || name.size() < 5 || name.substr(name.size() - 4) != kTempSuffix) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != me) continue;
    if (std::time(nullptr) - st.st_mtime < minimumAge.count()) continue;
    // A running signing holds a shared lock on its key file: leave it.
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code rec;
      fs::remove(it->path(), rec);
    }
    ::close(fd);
  }
}

}  // namespace penvora::core::engine
