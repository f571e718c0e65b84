#pragma once
#include <qpdf/Pipeline.hh>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace penvora::core::document {

// A qpdf pipeline into a string that throws std::length_error past
// `limit` bytes: a few compressed bytes of a hostile stream can inflate
// without bound, so what is only read for text stops early.
class BoundedStringPipeline : public Pipeline {
 public:
  BoundedStringPipeline(std::string& out, std::size_t limit)
      : Pipeline("bounded string", nullptr), out_(out), limit_(limit) {}
  void write(unsigned char const* data, size_t len) override {
    if (len > limit_ - out_.size()) throw std::length_error("stream longer than the bound");
    out_.append(reinterpret_cast<const char*>(data), len);
  }
  void finish() override {}

 private:
  std::string& out_;
  std::size_t limit_;
};

}  // namespace penvora::core::document
