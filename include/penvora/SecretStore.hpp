#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "penvora/Export.hpp"

namespace penvora {

// A store of generic-password items addressed by service and account, such
// as the platform keychain. Calls are synchronous.
class PENVORA_EXPORT SecretStore {
 public:
  virtual ~SecretStore() = default;
  // Adds an item; false when the store refused it.
  virtual bool add(const std::string& service, const std::string& account, const std::vector<std::uint8_t>& data) = 0;
  // The item's data, or nothing when there is no such item or it cannot be read.
  virtual std::optional<std::vector<std::uint8_t>> find(const std::string& service, const std::string& account) = 0;
  // Removes the item if it exists.
  virtual void remove(const std::string& service, const std::string& account) = 0;
};

}  // namespace penvora
