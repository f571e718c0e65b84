#pragma once
#include <stdexcept>
#include <string>

namespace penvora::core::securepdf {

// The one error type of the signing library; the message says what failed
// in words a host can show or log, the kind what a caller may act on.
class SecurePdfError : public std::runtime_error {
 public:
  enum class Kind {
    other,
    wrongPassword,  // the document did not open with the password given (none, or another)
  };
  explicit SecurePdfError(const std::string& message, Kind kind = Kind::other)
      : std::runtime_error(message), kind_(kind) {}
  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

}  // namespace penvora::core::securepdf
