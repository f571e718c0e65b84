#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "penvora/Export.hpp"
#include "penvora/SecretStore.hpp"

namespace penvora {

// A stored signing identity: the PKCS#12 bytes and their password.
class PENVORA_EXPORT PenvoraCertResult {
 public:
  PenvoraCertResult(std::vector<std::uint8_t> certData, std::string password)
      : certData(std::move(certData)), password(std::move(password)) {}
  PenvoraCertResult() = delete;

  std::vector<std::uint8_t> certData;
  std::string password;
};

// Saves and loads signing identities by alias. Two items per alias A, both
// with account A: service A + ".p12" holds the container, service
// A + ".p12.password" its password as UTF-8.
class PENVORA_EXPORT PenvoraSdkCertManager {
 public:
  // True when the container opens with the password and both items were
  // written (the alias's old items are removed first). A container that
  // does not open writes nothing.
  static bool saveCertOnKeychain(const std::vector<std::uint8_t>& data, const std::string& password,
                                 const std::string& alias);
  // The identity stored under the alias, or nothing when either item is
  // missing or the password is not UTF-8.
  static std::optional<PenvoraCertResult> loadCertFromKeychain(const std::string& alias);

  // The store both operations use. The Qt layer installs the system
  // keychain (QtKeychain) when the component starts; without a store both
  // operations fail.
  static void setStore(std::shared_ptr<SecretStore> store);
  static std::shared_ptr<SecretStore> store();

  // The same operations on an explicit store.
  static bool saveCertOnKeychain(SecretStore& store, const std::vector<std::uint8_t>& data, const std::string& password,
                                 const std::string& alias);
  static std::optional<PenvoraCertResult> loadCertFromKeychain(SecretStore& store, const std::string& alias);
};

}  // namespace penvora
