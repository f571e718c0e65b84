#include "core/util/Sha512.hpp"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace penvora::core::util {
namespace {
std::string hexLower(const unsigned char* d, unsigned n) {
  static const char* hex = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (unsigned i = 0; i < n; ++i) {
    s += hex[d[i] >> 4];
    s += hex[d[i] & 15];
  }
  return s;
}
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

std::string sha512Hex(const std::uint8_t* data, std::size_t size) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  EVP_Digest(data, size, md, &n, EVP_sha512(), nullptr);
  return hexLower(md, n);
}

std::optional<Bytes> readFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  Bytes out;
  std::uint8_t buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out.insert(out.end(), buf, buf + n);
  if (std::ferror(f.get())) return std::nullopt;
  return out;
}

std::optional<std::string> sha512HexOfFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) != 1) return std::nullopt;
  std::uint8_t buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) EVP_DigestUpdate(ctx.get(), buf, n);
  if (std::ferror(f.get())) return std::nullopt;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  EVP_DigestFinal_ex(ctx.get(), md, &len);
  return hexLower(md, len);
}

}  // namespace penvora::core::util
