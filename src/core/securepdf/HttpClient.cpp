#include "core/securepdf/HttpClient.hpp"

#include <curl/curl.h>

#include <atomic>
#include <memory>

#include "core/securepdf/SecurePdfError.hpp"

namespace penvora::core::securepdf {
namespace {

std::atomic<long> connectLimit{kConnectTimeoutSeconds};
std::atomic<long> totalLimit{kTotalTimeoutSeconds};

std::size_t collect(char* data, std::size_t size, std::size_t n, void* user) {
  auto* out = static_cast<std::string*>(user);
  if (out->size() + size * n > kMaxResponseBytes) return 0;  // aborts the transfer
  out->append(data, size * n);
  return size * n;
}

void curlInitOnce() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!ready) throw SecurePdfError("The HTTP client could not start");
}

}  // namespace

void setNetworkTimeouts(long connectSeconds, long totalSeconds) {
  connectLimit = connectSeconds > 0 ? connectSeconds : kConnectTimeoutSeconds;
  totalLimit = totalSeconds > 0 ? totalSeconds : kTotalTimeoutSeconds;
}

HttpTarget splitCredentials(const std::string& url) {
  HttpTarget s{url, {}, {}};
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return s;
  const auto hostStart = scheme + 3;
  const auto slash = url.find('/', hostStart);
  const auto at = url.rfind('@', slash == std::string::npos ? std::string::npos : slash);
  if (at == std::string::npos || at < hostStart) return s;
  const std::string cred = url.substr(hostStart, at - hostStart);
  const auto colon = cred.find(':');
  s.user = cred.substr(0, colon);
  if (colon != std::string::npos) s.password = cred.substr(colon + 1);
  s.url = url.substr(0, hostStart) + url.substr(at + 1);
  return s;
}

std::string httpRequest(const std::string& url, const std::string& what, const std::string& contentType,
                        const std::string& body) {
  const HttpTarget target = splitCredentials(url);
  const std::string& shown = target.url;
  if (shown.rfind("http://", 0) != 0 && shown.rfind("https://", 0) != 0)
    throw SecurePdfError("The " + what + " address is not an http or https URL: " + shown);
  curlInitOnce();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw SecurePdfError("The HTTP client could not start");
  std::string response;
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, shown.c_str());
  if (!contentType.empty()) {
    headers.reset(curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str()));
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  }
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, connectLimit.load());
  curl_easy_setopt(c, CURLOPT_TIMEOUT, totalLimit.load());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  if (!target.user.empty()) {
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(c, CURLOPT_USERNAME, target.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, target.password.c_str());
  }
  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    const std::string why = rc == CURLE_OPERATION_TIMEDOUT ? "no answer in time" : curl_easy_strerror(rc);
    throw SecurePdfError("The " + what + " " + shown + " could not be reached: " + why);
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) throw SecurePdfError("The " + what + " " + shown + " answered HTTP " + std::to_string(status));
  return response;
}

}  // namespace penvora::core::securepdf
