#pragma once
#include <string>

#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// Asks an RFC 3161 time-stamp authority for a token over `data` (SHA-512
// imprint, a fresh nonce, the TSA certificate requested) and checks the
// answer: granted status, same imprint and nonce, a signature that
// verifies with the certificate it carries. Returns the token (a CMS
// ContentInfo, DER). A user name and password written after "://" go as
// HTTP basic credentials. Throws SecurePdfError with a message that never
// contains the credentials.
util::Bytes requestTimestampToken(const std::string& url, const util::Bytes& data);
// The same for data already hashed with SHA-512 (document time-stamps).
util::Bytes requestTimestampTokenForDigest(const std::string& url, const util::Bytes& sha512Digest);

}  // namespace penvora::core::securepdf
