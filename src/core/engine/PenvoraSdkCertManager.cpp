#include "penvora/PenvoraSdkCertManager.hpp"

#include <mutex>

#include "core/engine/DefaultSecretStore.hpp"
#include "core/util/Bytes.hpp"
#include "core/util/Pkcs12.hpp"

namespace penvora {
namespace {

std::mutex& storeMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<SecretStore>& installedStore() {
  static std::shared_ptr<SecretStore> s;
  return s;
}
core::engine::SecretStoreFactory& defaultStoreFactory() {
  static core::engine::SecretStoreFactory f;
  return f;
}

std::string containerService(const std::string& alias) { return alias + ".p12"; }
std::string passwordService(const std::string& alias) { return alias + ".p12.password"; }

}  // namespace

void PenvoraSdkCertManager::setStore(std::shared_ptr<SecretStore> store) {
  std::lock_guard lock(storeMutex());
  installedStore() = std::move(store);
}

std::shared_ptr<SecretStore> PenvoraSdkCertManager::store() {
  std::lock_guard lock(storeMutex());
  // The first use installs the default store, so a host that stores an
  // identity before its first request reaches the system keychain too.
  if (!installedStore() && defaultStoreFactory()) installedStore() = defaultStoreFactory()();
  return installedStore();
}

namespace core::engine {

void setDefaultSecretStore(SecretStoreFactory factory) {
  std::lock_guard lock(storeMutex());
  defaultStoreFactory() = std::move(factory);
}

}  // namespace core::engine

bool PenvoraSdkCertManager::saveCertOnKeychain(const std::vector<std::uint8_t>& data, const std::string& password,
                                               const std::string& alias) {
  auto s = store();
  return s && saveCertOnKeychain(*s, data, password, alias);
}

std::optional<PenvoraCertResult> PenvoraSdkCertManager::loadCertFromKeychain(const std::string& alias) {
  auto s = store();
  if (!s) return std::nullopt;
  return loadCertFromKeychain(*s, alias);
}

bool PenvoraSdkCertManager::saveCertOnKeychain(SecretStore& store, const std::vector<std::uint8_t>& data,
                                               const std::string& password, const std::string& alias) {
  if (!core::util::pkcs12Opens(data, password)) return false;
  store.remove(containerService(alias), alias);
  store.remove(passwordService(alias), alias);
  const bool container = store.add(containerService(alias), alias, data);
  // A std::string is always bytes; the UTF-8 check guards what load needs.
  const bool pass =
      core::util::isValidUtf8(password) && store.add(passwordService(alias), alias, core::util::toBytes(password));
  return container && pass;
}

std::optional<PenvoraCertResult> PenvoraSdkCertManager::loadCertFromKeychain(SecretStore& store,
                                                                             const std::string& alias) {
  auto container = store.find(containerService(alias), alias);
  if (!container) return std::nullopt;
  auto password = store.find(passwordService(alias), alias);
  if (!password) return std::nullopt;
  std::string text = core::util::toString(*password);
  if (!core::util::isValidUtf8(text)) return std::nullopt;
  return PenvoraCertResult(std::move(*container), std::move(text));
}

}  // namespace penvora
