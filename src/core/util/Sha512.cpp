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

std::optional<std::string> sha512HexOfFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  Owned<EVP_MD_CTX, EVP_MD_CTX_free> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) != 1) return std::nullopt;
  std::uint8_t buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0)
    if (EVP_DigestUpdate(ctx.get(), buf, n) != 1) return std::nullopt;
  if (std::ferror(f.get())) return std::nullopt;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  if (EVP_DigestFinal_ex(ctx.get(), md, &len) != 1) return std::nullopt;
  return hexEncode(md, len, HexCase::Lower);
}

}  // namespace penvora::core::util
