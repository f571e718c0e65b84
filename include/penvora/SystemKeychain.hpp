#pragma once
#include "penvora/Export.hpp"

namespace penvora {

// Makes the system keychain (the Secret Service through QtKeychain) the
// store PenvoraSdkCertManager uses; idempotent. With the Qt layer loaded it
// already is the store from the first call unless a host set another, so
// this only puts it back. Needs a running QCoreApplication.
PENVORA_EXPORT void useSystemKeychain();

}  // namespace penvora
