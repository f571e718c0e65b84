#include "core/util/Zlib.hpp"

#include <zlib.h>

namespace penvora::core::util {
namespace {

const Bytef* bytef(std::string_view s) { return reinterpret_cast<const Bytef*>(s.data()); }

}  // namespace

std::optional<std::string> zlibCompress(std::string_view data, int level) {
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string z(n, '\0');
  if (compress2(reinterpret_cast<Bytef*>(z.data()), &n, bytef(data), static_cast<uLong>(data.size()), level) != Z_OK)
    return std::nullopt;
  z.resize(n);
  return z;
}

std::optional<Bytes> rawDeflate(std::string_view data, int level) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
  Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())));
  zs.next_in = const_cast<Bytef*>(bytef(data));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

std::optional<Bytes> zlibInflate(std::string_view stream, std::size_t maxSize) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  Bytes out;
  unsigned char buf[1 << 15];
  z.next_in = const_cast<Bytef*>(bytef(stream));
  z.avail_in = static_cast<uInt>(stream.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
    if (out.size() > maxSize) rc = Z_DATA_ERROR;
    // Input used up before the end of the stream: truncated.
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

std::uint32_t adler32(std::string_view data) {
  return static_cast<std::uint32_t>(::adler32(1L, bytef(data), static_cast<uInt>(data.size())));
}

std::uint32_t crc32(std::string_view data) {
  return static_cast<std::uint32_t>(::crc32(0L, bytef(data), static_cast<uInt>(data.size())));
}

}  // namespace penvora::core::util
