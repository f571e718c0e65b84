#pragma once
#include <cstdint>
#include <string_view>

#include "penvora/Export.hpp"

namespace penvora {

struct Rgba {
  std::uint8_t red = 0, green = 0, blue = 0, alpha = 255;
  bool operator==(const Rgba&) const = default;
};

// Colour from hexadecimal text ("#RGB", "RRGGBB", "AARRGGBB"); any other
// length is opaque black. Never fails.
PENVORA_EXPORT Rgba colorFromHex(std::string_view text);

}  // namespace penvora
