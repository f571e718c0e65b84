#include "core/util/Sha512.hpp"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::util {
namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

std::string sha512Hex(const std::uint8_t* data, std::size_t size) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (EVP_Digest(data, size, md, &n, EVP_sha512(), nullptr) != 1) return {};
  return hexEncode(md, n, HexCase::Lower);
}

struct Sha512Stream::Context {
  Owned<EVP_MD_CTX, EVP_MD_CTX_free> md{EVP_MD_CTX_new()};
  bool ok = md && EVP_DigestInit_ex(md.get(), EVP_sha512(), nullptr) == 1;
};

Sha512Stream::Sha512Stream() : ctx_(std::make_unique<Context>()) {}
Sha512Stream::~Sha512Stream() = default;

void Sha512Stream::update(const void* data, std::size_t size) {
  if (ctx_->ok && size) ctx_->ok = EVP_DigestUpdate(ctx_->md.get(), data, size) == 1;
}

std::string Sha512Stream::hex() {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!ctx_->ok || EVP_DigestFinal_ex(ctx_->md.get(), md, &n) != 1) return {};
  ctx_->ok = false;
  return hexEncode(md, n, HexCase::Lower);
}

std::optional<std::string> sha512HexOfFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  Sha512Stream digest;
  std::uint8_t buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) digest.update(buf, n);
  if (std::ferror(f.get())) return std::nullopt;
  std::string hex = digest.hex();
  if (hex.empty()) return std::nullopt;
  return hex;
}

}  // namespace penvora::core::util
