#pragma once
#include <openssl/evp.h>

#include <string>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::engine {

// The private key that opens protected biometric records, read from PEM
// without ever asking for a passphrase: a prompt on the terminal would
// hang a tool that another program runs.
class BiometricKey {
 public:
  // The key, or null when `pem` holds no unencrypted private key;
  // `encrypted` (when given) tells whether it held an encrypted one.
  static util::Owned<EVP_PKEY, EVP_PKEY_free> read(const std::string& pem, bool* encrypted = nullptr);
  // Why `pem` cannot open a record, said for a person; empty when it is
  // an unencrypted RSA private key.
  static std::string problem(const std::string& pem);
};

}  // namespace penvora::core::engine
