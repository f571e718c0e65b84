#include "core/engine/LogoImage.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

namespace penvora::core::engine {
// Generated at configure time from resources/images/logo_020.jpg.
extern const unsigned char logo_020_jpg[];
extern const std::size_t logo_020_jpg_size;

namespace {
struct TjFree {
  void operator()(void* h) const { tjDestroy(static_cast<tjhandle>(h)); }
};
}  // namespace

std::optional<util::Bytes> encodeJpeg(const util::Bytes& rgba, int width, int height, double quality) {
  if (width < 1 || height < 1 || rgba.size() < static_cast<std::size_t>(width) * height * 4) return std::nullopt;
  std::unique_ptr<void, TjFree> tj(tjInitCompress());
  if (!tj) return std::nullopt;
  // Quality 1.0 maps to libjpeg's 100, 0.0 to 1.
  const int q = std::clamp(static_cast<int>(std::lround(quality * 100)), 1, 100);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tjCompress2(static_cast<tjhandle>(tj.get()), rgba.data(), width, 0, height, TJPF_RGBA, &out, &size, TJSAMP_444, q,
                  TJFLAG_ACCURATEDCT) != 0) {
    tjFree(out);
    return std::nullopt;
  }
  util::Bytes jpeg(out, out + size);
  tjFree(out);
  return jpeg;
}

std::optional<util::Bytes> logoJpeg(double quality) {
  std::unique_ptr<void, TjFree> tj(tjInitDecompress());
  int w = 0, h = 0, sub = 0, space = 0;
  auto* data = const_cast<unsigned char*>(logo_020_jpg);
  const auto size = static_cast<unsigned long>(logo_020_jpg_size);
  if (!tj || tjDecompressHeader3(static_cast<tjhandle>(tj.get()), data, size, &w, &h, &sub, &space) != 0)
    return std::nullopt;
  util::Bytes rgba(static_cast<std::size_t>(w) * h * 4);
  if (tjDecompress2(static_cast<tjhandle>(tj.get()), data, size, rgba.data(), w, 0, h, TJPF_RGBA, 0) != 0)
    return std::nullopt;
  return encodeJpeg(rgba, w, h, quality);
}

}  // namespace penvora::core::engine
