#pragma once
#include <cstdint>
#include <string>

namespace penvora::core::securepdf {

// A file written beside its target under a temporary name and renamed into
// place only when complete, so a failure never leaves a partial output and
// an existing file is only ever replaced by a finished one.
class AtomicOutputFile {
 public:
  // Throws SecurePdfError when the folder is not writable, or when the
  // target exists and `overwrite` is false.
  AtomicOutputFile(const std::string& target, bool overwrite);
  ~AtomicOutputFile();  // removes the temporary file unless committed
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  void write(const void* data, std::size_t size);
  void write(const std::string& s) { write(s.data(), s.size()); }
  void writeAt(std::uint64_t offset, const std::string& s);
  // Appends the first `length` bytes of the open file `in`, copied by the
  // kernel (no trip through our memory) where it can; leaves `in`'s
  // position alone.
  void copyFrom(int in, std::uint64_t length);
  // Starts writing back what was written so far: the original copied in
  // is final (only the signature's placeholder is patched later), so its
  // writeback runs beside the hashing and signing, and commit's fsync
  // waits only for what is left. A hint; failure is harmless.
  void startWriteback();
  std::uint64_t size() const { return size_; }
  // Flushes to disk and renames over the target.
  void commit();

 private:
  std::string target_, temp_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  bool overwrite_ = false;
  bool committed_ = false;
  bool unnamed_ = false;  // O_TMPFILE, named only at commit
};

}  // namespace penvora::core::securepdf
