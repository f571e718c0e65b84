#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/InputSource.hh>

namespace penvora::core::securepdf {

// Two byte ranges that qpdf reads as one file, the second after the first:
// a section kept apart is read after a document's bytes without copying
// them. Both must outlive the source.
class JoinedInputSource final : public InputSource {
 public:
  JoinedInputSource(std::string name, std::string_view first, std::string_view second);

  qpdf_offset_t findAndSkipNextEOL() override;
  std::string const& getName() const override { return name_; }
  qpdf_offset_t tell() override { return at_; }
  void seek(qpdf_offset_t offset, int whence) override;
  void rewind() override { at_ = 0; }
  size_t read(char* buffer, size_t length) override;
  void unreadCh(char) override {
    if (at_ > 0) --at_;
  }

  // From now on, every offset qpdf seeks to from the start goes into `log`:
  // qpdf reads an object by seeking to where its table says it starts.
  void logSeeks(std::shared_ptr<std::vector<std::uint64_t>> log) { seeks_ = std::move(log); }

 private:
  qpdf_offset_t size() const {
    return static_cast<qpdf_offset_t>(first_.size()) + static_cast<qpdf_offset_t>(second_.size());
  }
  char byteAt(qpdf_offset_t i) const {
    const auto n = static_cast<std::size_t>(i);
    return n < first_.size() ? first_[n] : second_[n - first_.size()];
  }

  std::string name_;
  std::string_view first_, second_;
  qpdf_offset_t at_ = 0;
  std::shared_ptr<std::vector<std::uint64_t>> seeks_;
};

}  // namespace penvora::core::securepdf
