#pragma once
#include <openssl/pkcs12.h>

#include <string>

#include "core/util/Bytes.hpp"

namespace penvora::core::util {

// True when the PKCS#12 container opens with the password and holds a key
// and its certificate. Older containers (RC2, 3DES) open too, through the
// legacy provider when it is installed.
bool pkcs12Opens(const Bytes& container, const std::string& password);

// PKCS12_parse, with OpenSSL's legacy provider loaded only for a container
// that needs it (RC2 or other old ciphers): modern ones (AES-256, PBKDF2)
// open without it, so most runs never load it.
bool parsePkcs12(PKCS12* p12, const std::string& password, EVP_PKEY** key, X509** cert, STACK_OF(X509) * *ca);

}  // namespace penvora::core::util
