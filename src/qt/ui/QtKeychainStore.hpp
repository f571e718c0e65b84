#pragma once
#include <memory>

#include "penvora/SecretStore.hpp"

namespace penvora::qt::ui {

// The system keychain through QtKeychain (the Secret Service on Linux).
// Each call runs its job to completion in a local event loop, so the store
// is synchronous; it needs a running Q(Core)Application.
class QtKeychainStore final : public SecretStore {
 public:
  bool add(const std::string& service, const std::string& account, const std::vector<std::uint8_t>& data) override;
  std::optional<std::vector<std::uint8_t>> find(const std::string& service, const std::string& account) override;
  void remove(const std::string& service, const std::string& account) override;

  // Makes this store the one PenvoraSdkCertManager uses (once).
  static void installIfNeeded();

  // The last job's error text, for diagnostics (never contains item data).
  const std::string& lastError() const { return lastError_; }

 private:
  std::string lastError_;
};

}  // namespace penvora::qt::ui
