#include "core/engine/BackgroundMask.hpp"

#include <turbojpeg.h>

#include <memory>

namespace penvora::core::engine {
namespace {

struct TjFree {
  void operator()(void* h) const { tjDestroy(static_cast<tjhandle>(h)); }
};

constexpr int kNearWhite = 224;
constexpr long long kMaxPixels = 64ll << 20;  // refuse absurd sizes

}  // namespace

std::optional<std::pair<int, int>> jpegPixelSize(const util::Bytes& jpeg) {
  std::unique_ptr<void, TjFree> tj(tjInitDecompress());
  int w = 0, h = 0, sub = 0, space = 0;
  if (!tj || jpeg.empty() ||
      tjDecompressHeader3(static_cast<tjhandle>(tj.get()), jpeg.data(), static_cast<unsigned long>(jpeg.size()), &w, &h,
                          &sub, &space) != 0)
    return std::nullopt;
  return std::make_pair(w, h);
}

std::optional<util::Bytes> nearWhiteMask(const util::Bytes& jpeg, int width, int height) {
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxPixels) return std::nullopt;
  auto size = jpegPixelSize(jpeg);
  if (!size || static_cast<long long>(size->first) * size->second > kMaxPixels) return std::nullopt;
  const auto [iw, ih] = *size;
  std::unique_ptr<void, TjFree> tj(tjInitDecompress());
  util::Bytes rgba(static_cast<std::size_t>(iw) * ih * 4);
  if (tjDecompress2(static_cast<tjhandle>(tj.get()), jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgba.data(),
                    iw, 0, ih, TJPF_RGBA, TJFLAG_ACCURATEDCT) != 0)
    return std::nullopt;
  // Drawn into width x height: nearest source pixel when the sizes differ.
  const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
  util::Bytes mask(rowBytes * static_cast<std::size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * ih / height);
    for (int x = 0; x < width; ++x) {
      const int sx = static_cast<int>(static_cast<long long>(x) * iw / width);
      const unsigned char* p = &rgba[(static_cast<std::size_t>(sy) * iw + sx) * 4];
      if (p[0] > kNearWhite && p[1] > kNearWhite && p[2] > kNearWhite)
        mask[static_cast<std::size_t>(y) * rowBytes + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  return mask;
}

}  // namespace penvora::core::engine
