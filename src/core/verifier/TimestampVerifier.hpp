#pragma once
#include <openssl/x509.h>

#include <ctime>
#include <string>
#include <string_view>

#include "core/util/Bytes.hpp"
#include "core/verifier/ChainValidator.hpp"

namespace penvora::core::verifier {

struct TimestampCheck {
  bool intact = false;    // the TSA's signature holds and the imprint is the data's digest
  std::string problem;    // why not intact, or why its chain fails
  std::time_t time = 0;   // the token's time
  std::string authority;  // subject of the TSA certificate
  ChainResult::Status chain = ChainResult::Status::NoChain;  // the TSA's chain, checked now
};

// Checks an RFC 3161 token (DER) over `data`: the TSA's signature, the
// imprint, a certificate meant for time-stamping, and its chain to the
// anchors (through the token's and `extra` certificates).
TimestampCheck verifyTimestamp(const util::Bytes& token, std::string_view data, const TrustStore& trust,
                               STACK_OF(X509) * extra);

}  // namespace penvora::core::verifier
