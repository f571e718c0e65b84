#pragma once
#include <stdexcept>
#include <string>

namespace penvora::core::securepdf {

// The one error type of the signing library; the message says what failed
// in words a host can show or log.
class SecurePdfError : public std::runtime_error {
 public:
  explicit SecurePdfError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace penvora::core::securepdf
