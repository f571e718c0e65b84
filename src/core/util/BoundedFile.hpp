#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace penvora::core::util {

// Thrown with a message a person can act on: what the file was for, why it
// cannot be used, and its path.
class FileReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Limits for the small files a person names: a request, a key, a PKCS#12.
// A pipe or a device would otherwise be read until memory runs out.
constexpr std::size_t kRequestFileLimit = std::size_t{16} << 20;
constexpr std::size_t kKeyFileLimit = std::size_t{1} << 20;

// An open regular file. Opening never blocks (a pipe is refused, not
// waited on), and the type is checked on the opened file, so a path
// swapped meanwhile cannot slip a device in.
class RegularFile {
 public:
  // `what` starts the message ("The input file"); throws FileReadError
  // when the path does not exist, is a folder, is not a regular file or
  // cannot be opened (with the system's reason).
  RegularFile(const std::string& path, const std::string& what);
  ~RegularFile();
  RegularFile(RegularFile&& other) noexcept;
  RegularFile& operator=(RegularFile&&) = delete;

  int fd() const { return fd_; }
  std::uint64_t size() const { return size_; }
  // Hands the file over as a stdio stream, which then closes it; null
  // (the file stays with this object) when no stream can be made.
  std::FILE* releaseAsStream();

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Reads all `n` bytes at `offset` of an open file without moving its
// position; false when the file ends early or cannot be read.
bool readFullyAt(int fd, std::uint64_t offset, char* out, std::size_t n);

// "16 MB", "1 MB", "512 bytes": a limit as the messages state it.
std::string sizeText(std::size_t bytes);

// The whole of a regular file of at most `limit` bytes. Throws
// FileReadError as RegularFile does, and when the file is larger (even if
// it grows while being read).
std::string readBoundedFile(const std::string& path, std::size_t limit, const std::string& what);

}  // namespace penvora::core::util
