#pragma once
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/securepdf/PredictorRows.hpp"

namespace penvora::core::securepdf {

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

// Counts what it is given, keeping nothing, and stops the decoding past
// `limit` bytes (qpdf turns the exception into a failed read, so
// `exceeded` says why it failed): for measuring how far a stream decodes.
class BoundedCountPipeline : public Pipeline {
 public:
  explicit BoundedCountPipeline(std::uint64_t limit) : Pipeline("bounded count", nullptr), limit_(limit) {}
  void write(unsigned char const*, size_t len) override {
    if (len > limit_ - count_) {
      exceeded_ = true;
      throw std::length_error("stream longer than the bound");
    }
    count_ += len;
  }
  void finish() override {}
  bool exceeded() const { return exceeded_; }
  std::uint64_t count() const { return count_; }

 private:
  std::uint64_t limit_, count_ = 0;
  bool exceeded_ = false;
};

// The most one item of validation data (a certificate, an OCSP answer, a
// CRL) may inflate to when a document's /DSS is read: the largest CRLs
// hold a few tens of megabytes, a hostile stream could hold gigabytes.
constexpr std::size_t kMaxValidationItemBytes = std::size_t{64} << 20;

// A stream's decoded data when it holds at most `limit` bytes; none when
// it holds more or cannot be decoded.
inline std::optional<std::string> decodedUpTo(QPDFObjectHandle stream, std::size_t limit) {
  std::string data;
  try {
    BoundedStringPipeline sink(data, limit);
    bool filtered = false;
    if (!stream.isStream() || !predictorRowsFit(stream) ||
        !stream.pipeStreamData(&sink, &filtered, 0, qpdf_dl_generalized, true) || !filtered)
      return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return data;
}

}  // namespace penvora::core::securepdf
