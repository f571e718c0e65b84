#include "core/util/FileReplace.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace penvora::core::util {

void checkReplaceable(const std::string& target, bool overwrite) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0) return;  // nothing there
  if (!S_ISREG(st.st_mode))
    throw FileReplaceError("The output path is not a regular file and is not replaced: " + target);
  if (!overwrite) throw FileReplaceError("The output file exists and overwrite is off: " + target);
}

void moveIntoPlace(const std::string& from, const std::string& target, bool overwrite) {
  if (overwrite) {
    checkReplaceable(target, true);
    // Never wider than either: a private temporary stays private.
    struct stat replaced {
    }, made{};
    if (::lstat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode) && ::stat(from.c_str(), &made) == 0)
      (void)::chmod(from.c_str(), replaced.st_mode & made.st_mode & 0777);
    if (::rename(from.c_str(), target.c_str()) != 0)
      throw FileReplaceError("Cannot move the output file into place: " + std::string(std::strerror(errno)));
    return;
  }
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    // A file system without the no-replace move: a hard link also
    // refuses an existing name, then the temporary name goes.
    if (::link(from.c_str(), target.c_str()) == 0) {
      ::unlink(from.c_str());
      return;
    }
    error = errno;
  }
  if (error == EEXIST) throw FileReplaceError("The output file exists and is kept, as overwrite is off: " + target);
  throw FileReplaceError("Cannot move the output file into place: " + std::string(std::strerror(error)));
}

std::string temporaryStemBeside(const std::string& target) {
  constexpr std::size_t kKept = 128;
  const std::filesystem::path path(target);
  std::string name = path.filename().string();
  if (name.size() > kKept) {
    // Not inside a character: some file systems refuse a name that is not UTF-8.
    std::size_t keep = kKept;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    name.resize(keep);
  }
  return ((path.has_parent_path() ? path.parent_path() : std::filesystem::path(".")) / ("." + name)).string();
}

}  // namespace penvora::core::util
