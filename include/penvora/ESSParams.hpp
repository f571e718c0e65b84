#pragma once
#include <cstdint>
#include <string>

#include "penvora/Rect.hpp"

namespace penvora {

// What the user produced on screen for one request, carried from capture
// and placement to the signing engine. Shared by reference; never given to
// the host by the launcher; a server-side host fills one to call ESS itself.
// jpgB64, bounds and page are written together by one placement.
class ESSParams {
 public:
  std::string jpgB64;      // JPEG (quality 1.0) of the box appearance, base64
  Rect bounds;             // the box in its page's space
  std::int64_t page = -1;  // from 1; -1: not placed yet
  std::string pointsB64;   // base64 biometric record
};

}  // namespace penvora
