#pragma once
#include <optional>
#include <utility>

#include "core/util/Bytes.hpp"

namespace penvora::core::engine {

// Pixel width and height of a JPEG, from its header.
std::optional<std::pair<int, int>> jpegPixelSize(const util::Bytes& jpeg);

// The 1-bit mask of a JPEG drawn at width x height: per row, a bit per
// pixel, 1 where R, G and B are all above 224 (near white), rows padded
// to whole bytes, first bit most significant. Nothing for a size below 1
// or bytes that are not a JPEG.
std::optional<util::Bytes> nearWhiteMask(const util::Bytes& jpeg, int width, int height);

}  // namespace penvora::core::engine
