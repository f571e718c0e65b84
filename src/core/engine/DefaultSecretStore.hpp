#pragma once
#include <functional>
#include <memory>

#include "penvora/SecretStore.hpp"

namespace penvora::core::engine {

// Makes the store PenvoraSdkCertManager installs on its first use when
// none was set. The Qt layer offers the system keychain this way when it
// loads; the core alone has no store.
using SecretStoreFactory = std::function<std::shared_ptr<SecretStore>()>;
void setDefaultSecretStore(SecretStoreFactory factory);

}  // namespace penvora::core::engine
