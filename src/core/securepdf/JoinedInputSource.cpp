#include "core/securepdf/JoinedInputSource.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace penvora::core::securepdf {

JoinedInputSource::JoinedInputSource(std::string name, std::string_view first, std::string_view second)
    : name_(std::move(name)), first_(first), second_(second) {}

// As qpdf's own sources do: the offset of the next end of line, and the
// position past every end-of-line character that follows it.
qpdf_offset_t JoinedInputSource::findAndSkipNextEOL() {
  const qpdf_offset_t end = size();
  while (at_ < end && byteAt(at_) != '\r' && byteAt(at_) != '\n') ++at_;
  const qpdf_offset_t eol = at_;
  while (at_ < end && (byteAt(at_) == '\r' || byteAt(at_) == '\n')) ++at_;
  if (eol == end) last_offset = end;
  return eol;
}

void JoinedInputSource::seek(qpdf_offset_t offset, int whence) {
  qpdf_offset_t base = 0;
  if (whence == SEEK_END)
    base = size();
  else if (whence == SEEK_CUR)
    base = at_;
  else if (whence != SEEK_SET)
    throw std::logic_error("JoinedInputSource: invalid seek");
  if ((offset < 0 && base + offset < 0) || (offset > 0 && base > std::numeric_limits<qpdf_offset_t>::max() - offset))
    throw std::runtime_error(name_ + ": seek out of range");
  at_ = base + offset;
  if (seeks_ && whence == SEEK_SET) seeks_->push_back(static_cast<std::uint64_t>(at_));
}

size_t JoinedInputSource::read(char* buffer, size_t length) {
  const qpdf_offset_t end = size();
  if (at_ >= end) {
    last_offset = end;
    return 0;
  }
  last_offset = at_;
  std::size_t from = static_cast<std::size_t>(at_);
  std::size_t done = 0;
  const std::size_t want = std::min(length, static_cast<std::size_t>(end - at_));
  if (from < first_.size()) {
    const std::size_t n = std::min(want, first_.size() - from);
    std::memcpy(buffer, first_.data() + from, n);
    done = n;
    from += n;
  }
  if (done < want) std::memcpy(buffer + done, second_.data() + (from - first_.size()), want - done);
  at_ += static_cast<qpdf_offset_t>(want);
  return want;
}

}  // namespace penvora::core::securepdf
