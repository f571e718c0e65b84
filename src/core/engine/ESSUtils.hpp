#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/util/Bytes.hpp"

namespace penvora::core::engine {

// Byte-level helpers of the biometric protection and the signing engine.
class ESSUtils {
 public:
  // RFC 1950 zlib stream: 78 DA, DEFLATE data, Adler-32 big-endian.
  static std::optional<util::Bytes> compress(const util::Bytes& input);

  // tag, DER minimal definite length (up to three length bytes), bytes.
  // Absent bytes give tag 00. Longer than 16777215: logged, bytes alone.
  static util::Bytes derTagged(std::uint8_t tag, const std::optional<util::Bytes>& bytes);

  // The binary time-series layout ("SDI") of the record lines, as base64;
  // empty when the record cannot be encoded in it.
  static std::string pointsToBinary(const std::vector<std::string>& lines);

  // Signed decimal (optional sign, digits only) or `fallback`.
  static std::int64_t parseInteger(std::string_view text, std::int64_t fallback);

  // Splits at every occurrence of `sep` (empty fields kept).
  static std::vector<std::string> split(std::string_view text, char sep);
};

}  // namespace penvora::core::engine
