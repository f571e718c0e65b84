#include "core/securepdf/IdentityCache.hpp"

#include <openssl/evp.h>

#include <array>
#include <mutex>

namespace penvora::core::securepdf {
namespace {

using Digest = std::array<unsigned char, 32>;

struct Entry {
  Digest digest{};
  std::optional<DecodedIdentity> identity;
};

std::mutex& entryMutex() {
  static std::mutex m;
  return m;
}

Entry& entry() {
  static Entry e;
  return e;
}

// The password's length goes in first so that no container and password
// pair can be read as another.
std::optional<Digest> digestOf(const std::string& container, const std::string& password) {
  Digest d{};
  const unsigned long long passwordSize = password.size();
  util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> ctx(EVP_MD_CTX_new());
  unsigned int n = 0;
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), &passwordSize, sizeof passwordSize) != 1 ||
      EVP_DigestUpdate(ctx.get(), password.data(), password.size()) != 1 ||
      EVP_DigestUpdate(ctx.get(), container.data(), container.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), d.data(), &n) != 1 || n != d.size())
    return std::nullopt;
  return d;
}

DecodedIdentity copyOf(EVP_PKEY* key, X509* cert, const std::vector<util::Owned<X509, X509_free>>& chain) {
  DecodedIdentity to;
  if (EVP_PKEY_up_ref(key) == 1) to.key.reset(key);
  if (X509_up_ref(cert) == 1) to.cert.reset(cert);
  to.chain.reserve(chain.size());
  for (const auto& c : chain)
    if (X509_up_ref(c.get()) == 1) to.chain.emplace_back(c.get());
  return to;
}

}  // namespace

std::optional<DecodedIdentity> IdentityCache::find(const std::string& container, const std::string& password) {
  const auto digest = digestOf(container, password);
  if (!digest) return std::nullopt;
  std::lock_guard lock(entryMutex());
  const Entry& e = entry();
  if (!e.identity || e.digest != *digest) return std::nullopt;
  auto copy = copyOf(e.identity->key.get(), e.identity->cert.get(), e.identity->chain);
  if (!copy.key || !copy.cert || copy.chain.size() != e.identity->chain.size()) return std::nullopt;
  return copy;
}

void IdentityCache::remember(const std::string& container, const std::string& password, EVP_PKEY* key, X509* cert,
                             const std::vector<util::Owned<X509, X509_free>>& chain) {
  const auto digest = digestOf(container, password);
  if (!digest || !key || !cert) return;
  auto copy = copyOf(key, cert, chain);
  if (!copy.key || !copy.cert || copy.chain.size() != chain.size()) return;
  std::lock_guard lock(entryMutex());
  entry().digest = *digest;
  entry().identity = std::move(copy);
}

}  // namespace penvora::core::securepdf
