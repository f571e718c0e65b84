#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/util/Bytes.hpp"

namespace penvora::core::engine {

// Reads back the two biometric signed attributes of a signature: for the
// back office that must prove who signed.
class BiometricRecordReader {
 public:
  // The summary attribute (DER VisibleString of base64 zlib text) as its
  // header names line and values line.
  static std::optional<std::pair<std::string, std::string>> summary(const util::Bytes& attributeDer);

  // One point of the decrypted trace.
  struct Point {
    int x = 0, y = 0, press = 0, time = 0;
  };
  struct Trace {
    int maxX = 0, maxY = 0, maxPress = 0;
    std::vector<Point> points;
  };
  // Decrypts the protected attribute with the private key (PEM) and
  // decodes its time series. Nothing when the key does not open it or the
  // contents are not a trace.
  static std::optional<Trace> decrypt(const util::Bytes& attributeDer, const std::string& privateKeyPem);

  // The record text: the summary's two lines, the column line and one
  // line per point.
  static std::string recordText(const std::pair<std::string, std::string>& summary, const Trace& trace);
};

}  // namespace penvora::core::engine
