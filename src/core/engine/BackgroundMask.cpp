#include "core/engine/BackgroundMask.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <memory>
#include <vector>

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
  std::vector<std::size_t> column(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x)
    column[static_cast<std::size_t>(x)] = static_cast<std::size_t>(static_cast<long long>(x) * iw / width) * 4;
  const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
  util::Bytes mask(rowBytes * static_cast<std::size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    const std::size_t sy = static_cast<std::size_t>(static_cast<long long>(y) * ih / height);
    const unsigned char* row = &rgba[sy * static_cast<std::size_t>(iw) * 4];
    std::uint8_t* out = &mask[static_cast<std::size_t>(y) * rowBytes];
    for (int x0 = 0; x0 < width; x0 += 8) {
      std::uint8_t bits = 0;
      for (int x = x0; x < std::min(x0 + 8, width); ++x) {
        const unsigned char* p = row + column[static_cast<std::size_t>(x)];
        const bool light = (p[0] > kNearWhite) & (p[1] > kNearWhite) & (p[2] > kNearWhite);
        bits |= static_cast<std::uint8_t>(light << (7 - (x - x0)));
      }
      out[x0 / 8] = bits;
    }
  }
  return mask;
}

}  // namespace penvora::core::engine
