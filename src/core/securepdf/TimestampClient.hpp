#pragma once
#include <ctime>
#include <string>

#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// How far a TSA's clock may differ from this machine's.
inline constexpr long kTimestampClockSkewSeconds = 300;

// What is wrong with a token's time, given when it was asked for and when
// the answer came (this machine's clock, give or take the skew above);
// nullptr when nothing is.
const char* tokenTimeProblem(std::time_t tokenTime, std::time_t asked, std::time_t answered);

// Asks an RFC 3161 time-stamp authority for a token over `data` (SHA-512
// imprint, a fresh nonce, the TSA certificate requested) and checks the
// answer: granted status, same imprint and nonce, a signature that
// verifies with the certificate it carries, and what a validator asks
// of the TSA certificate (time-stamping key usage, named in the token,
// valid now and at the token's time, which lies between asking and answering
// within the skew). Returns the token (a CMS
// ContentInfo, DER). A user name and password written after "://" go as
// HTTP basic credentials. Throws SecurePdfError with a message that never
// contains the credentials.
util::Bytes requestTimestampToken(const std::string& url, const util::Bytes& data);
// The same for data already hashed with SHA-512 (document time-stamps).
util::Bytes requestTimestampTokenForDigest(const std::string& url, const util::Bytes& sha512Digest);

}  // namespace penvora::core::securepdf
