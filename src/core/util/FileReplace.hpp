#pragma once
#include <stdexcept>
#include <string>

namespace penvora::core::util {

// Thrown with a message a person can act on.
class FileReplaceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether `target` may receive a new file: nothing there, or (with
// `overwrite`) a regular file. A folder, a device node, a pipe or a link at
// the path is never replaced, whatever `overwrite` says.
void checkReplaceable(const std::string& target, bool overwrite);

// Moves the finished file `from` to `target` in one step. Without
// `overwrite` an existing target is kept even when it appears meanwhile
// (the move itself refuses); with it, only a regular file is replaced, and
// the new file gets the replaced one's permissions (a private document
// stays private, a shared one shared). `from` stays where it was when the
// move fails.
void moveIntoPlace(const std::string& from, const std::string& target, bool overwrite);

// The start of a temporary file's name beside `target`: its folder, a dot
// and the target's name, of which no more is kept than leaves room for a
// suffix under the file system's 255-byte limit on one name.
std::string temporaryStemBeside(const std::string& target);

}  // namespace penvora::core::util
