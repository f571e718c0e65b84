#pragma once
#include <string>

namespace penvora::core::securepdf {

// Every request the signing library makes (time-stamps, OCSP, CRLs) is
// bounded, so a dead server costs seconds, not a hung screen.
inline constexpr long kConnectTimeoutSeconds = 10;
inline constexpr long kTotalTimeoutSeconds = 30;
inline constexpr std::size_t kMaxResponseBytes = 16u << 20;

// Tighter limits for a host (or a test) that cannot wait that long; values
// of 0 restore the defaults above.
void setNetworkTimeouts(long connectSeconds, long totalSeconds);

// An address split into the address without credentials and the user name
// and password written after "://" (sent as HTTP basic credentials).
struct HttpTarget {
  std::string url, user, password;
};
HttpTarget splitCredentials(const std::string& url);

// POST (or GET when `contentType` is empty) and the body of a 200 answer.
// Throws SecurePdfError naming `what` and the address without credentials.
std::string httpRequest(const std::string& url, const std::string& what, const std::string& contentType = {},
                        const std::string& body = {});

}  // namespace penvora::core::securepdf
