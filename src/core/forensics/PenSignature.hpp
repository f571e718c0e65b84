#pragma once
#include <stdexcept>
#include <vector>

namespace penvora::core::forensics {

// Thrown when a record cannot be read as a signature; the message says
// which input and why.
class ForensicsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One sample as the record gives it: position in record units, time in
// milliseconds from the first sample, pressure scaled to 0..1 (1 when the
// record carries none).
struct PenSample {
  double x = 0, y = 0, time = 0, pressure = 1;
  bool operator==(const PenSample&) const = default;
};

// A handwritten signature read back from a biometric record.
struct PenSignature {
  std::vector<PenSample> samples;
  bool hasPressure = false;  // MAX_PRESS above 1: the pen's real pressure
};

}  // namespace penvora::core::forensics
