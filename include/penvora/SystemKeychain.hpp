#pragma once
#include "penvora/Export.hpp"

namespace penvora {

// Makes the system keychain (the Secret Service through QtKeychain) the
// store PenvoraSdkCertManager uses; idempotent. The launcher does it on its
// first request; a host that stores identities before that calls it first.
// Needs a running QCoreApplication.
PENVORA_EXPORT void useSystemKeychain();

}  // namespace penvora
