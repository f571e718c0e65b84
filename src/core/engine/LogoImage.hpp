#pragma once
#include <optional>

#include "core/util/Bytes.hpp"

namespace penvora::core::engine {

// The "logo_020" placeholder picture shipped inside the core, as a JPEG
// encoded anew at the given quality (0..1; 1.0 is the best).
std::optional<util::Bytes> logoJpeg(double quality);

// JPEG at `quality` (0..1) of RGBA pixels; nothing when encoding fails.
std::optional<util::Bytes> encodeJpeg(const util::Bytes& rgba, int width, int height, double quality);

}  // namespace penvora::core::engine
