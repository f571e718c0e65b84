#pragma once
#include <string>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

// True when the PKCS#12 container opens with the password and holds a key
// and its certificate. Older containers (RC2, 3DES) open too: OpenSSL's
// legacy provider is loaded for them when it is installed.
bool pkcs12Opens(const Bytes& container, const std::string& password);

// Makes sure the default and (when present) legacy OpenSSL providers are
// loaded; idempotent.
void loadOpenSslProviders();

}  // namespace penvora::core::util
