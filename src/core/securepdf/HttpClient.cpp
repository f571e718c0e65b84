#include "core/securepdf/HttpClient.hpp"

// Declarations only: the library itself is opened when the first request
// is made, so a signing without a time-stamp or validation data does not
// load libcurl and the two dozen libraries it pulls in.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

#include "core/securepdf/FetchBudget.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/UrlUserinfo.hpp"

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

// The libcurl functions used here, found in the library opened at run time.
struct Curl {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) init = nullptr;
  decltype(&curl_easy_cleanup) cleanup = nullptr;
  decltype(&curl_easy_setopt) setopt = nullptr;
  decltype(&curl_easy_perform) perform = nullptr;
  decltype(&curl_easy_getinfo) getinfo = nullptr;
  decltype(&curl_easy_strerror) strerror = nullptr;
  decltype(&curl_slist_append) slistAppend = nullptr;
  decltype(&curl_slist_free_all) slistFreeAll = nullptr;
};

template <typename F>
bool find(void* library, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(library, name));
  return out != nullptr;
}

// Opened once and kept for the life of the process, as curl expects of
// its global state.
const Curl& curl() {
  static const std::optional<Curl> loaded = []() -> std::optional<Curl> {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::nullopt;
    Curl c;
    const bool complete =
        find(library, "curl_global_init", c.globalInit) && find(library, "curl_easy_init", c.init) &&
        find(library, "curl_easy_cleanup", c.cleanup) && find(library, "curl_easy_setopt", c.setopt) &&
        find(library, "curl_easy_perform", c.perform) && find(library, "curl_easy_getinfo", c.getinfo) &&
        find(library, "curl_easy_strerror", c.strerror) && find(library, "curl_slist_append", c.slistAppend) &&
        find(library, "curl_slist_free_all", c.slistFreeAll);
    if (!complete || c.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return std::nullopt;
    return c;
  }();
  if (!loaded) throw SecurePdfError("The HTTP client could not start: libcurl (libcurl.so.4) is not available");
  return *loaded;
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
  const auto at = util::userinfoEnd(url);
  if (at == std::string::npos) return s;
  const std::string cred = url.substr(hostStart, at - hostStart);
  const auto colon = cred.find(':');
  s.user = util::percentDecoded(cred.substr(0, colon));
  if (colon != std::string::npos) s.password = util::percentDecoded(cred.substr(colon + 1));
  s.url = url.substr(0, hostStart) + url.substr(at + 1);
  return s;
}

std::string httpRequest(const std::string& url, const std::string& what, const std::string& contentType,
                        const std::string& body) {
  const HttpTarget target = splitCredentials(url);
  const std::string shown = util::withoutUserinfo(url);
  if (target.url.rfind("http://", 0) != 0 && target.url.rfind("https://", 0) != 0)
    throw SecurePdfError("The " + what + " address is not an http or https URL: " + shown);
  const Curl& api = curl();
  std::unique_ptr<CURL, void (*)(CURL*)> handle(api.init(), api.cleanup);
  if (!handle) throw SecurePdfError("The HTTP client could not start");
  std::string response;
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers(nullptr, api.slistFreeAll);
  CURL* c = handle.get();
  api.setopt(c, CURLOPT_URL, target.url.c_str());
  if (!contentType.empty()) {
    headers.reset(api.slistAppend(nullptr, ("Content-Type: " + contentType).c_str()));
    api.setopt(c, CURLOPT_POST, 1L);
    api.setopt(c, CURLOPT_POSTFIELDS, body.data());
    api.setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    api.setopt(c, CURLOPT_HTTPHEADER, headers.get());
  }
  api.setopt(c, CURLOPT_WRITEFUNCTION, &collect);
  api.setopt(c, CURLOPT_WRITEDATA, &response);
  api.setopt(c, CURLOPT_CONNECTTIMEOUT, connectLimit.load());
  // Within a budget, no longer than the time it has left.
  const long left = FetchBudget::millisecondsLeftOnThisThread();
  if (left == 0) throw SecurePdfError("The " + what + " " + shown + " was not asked: no time left for answers");
  const long ownLimit = totalLimit.load() * 1000;
  api.setopt(c, CURLOPT_TIMEOUT_MS, left > 0 ? std::min(ownLimit, left) : ownLimit);
  api.setopt(c, CURLOPT_NOSIGNAL, 1L);
  api.setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  api.setopt(c, CURLOPT_MAXREDIRS, 3L);
  // A time-stamp request moved with 301 or 302 stays a POST.
  api.setopt(c, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
  api.setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  api.setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  if (target.user.find('\0') != std::string::npos || target.password.find('\0') != std::string::npos)
    throw SecurePdfError("The " + what + " address " + shown + " has a user or password holding a NUL byte");
  if (!target.user.empty() || !target.password.empty()) {
    api.setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    api.setopt(c, CURLOPT_USERNAME, target.user.c_str());
    api.setopt(c, CURLOPT_PASSWORD, target.password.c_str());
  }
  const CURLcode rc = api.perform(c);
  if (rc != CURLE_OK) {
    const std::string why = rc == CURLE_OPERATION_TIMEDOUT ? "no answer in time"
                            : rc == CURLE_WRITE_ERROR
                                ? "its answer is larger than " + std::to_string(kMaxResponseBytes >> 20) + " MB"
                                : std::string(api.strerror(rc));
    throw SecurePdfError("The " + what + " " + shown + " could not be reached: " + why);
  }
  long status = 0;
  api.getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) throw SecurePdfError("The " + what + " " + shown + " answered HTTP " + std::to_string(status));
  return response;
}

}  // namespace penvora::core::securepdf
