#pragma once
#include <stdexcept>
#include <string>

namespace penvora::core::engine {

// An error with a domain and a code, as the host-facing errors carry.
class DomainError : public std::runtime_error {
 public:
  DomainError(std::string domain, int code, const std::string& description)
      : std::runtime_error(description), domain_(std::move(domain)), code_(code) {}
  const std::string& domain() const { return domain_; }
  int code() const { return code_; }

 private:
  std::string domain_;
  int code_;
};

}  // namespace penvora::core::engine
