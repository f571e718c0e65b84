#pragma once

namespace penvora {

// A rectangle in page space (PDF points, y upwards) or view space.
struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

}  // namespace penvora
