#pragma once
#include <openssl/x509.h>

#include <ctime>
#include <string>

#include "core/util/OpenSsl.hpp"
#include "core/verifier/TrustStore.hpp"

namespace penvora::core::verifier {

struct ChainResult {
  enum class Status { Valid, NoChain, Expired, NotYetValid, Invalid } status = Status::NoChain;
  std::string problem;    // OpenSSL's reason, when not valid
  util::X509Stack chain;  // from the certificate to its anchor, when one was found
};

// Builds the path from `cert` through `untrusted` (the signature's own
// certificates and the document's validation data) to an anchor, and
// checks it as it stood at `at`.
ChainResult validateChain(X509* cert, STACK_OF(X509) * untrusted, const TrustStore& trust, std::time_t at);

}  // namespace penvora::core::verifier
