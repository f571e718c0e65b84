#pragma once

namespace penvora::core::capture {

enum class DeviceOrientation { unknown, portrait, portraitUpsideDown, landscapeLeft, landscapeRight, faceUp, faceDown };

constexpr bool isLandscape(DeviceOrientation o) {
  return o == DeviceOrientation::landscapeLeft || o == DeviceOrientation::landscapeRight;
}

// A swap between portrait and landscape resizes the canvas, so the signer
// starts over. Flat and unknown orientations change nothing.
constexpr bool orientationChangeClearsDrawing(bool wasLandscape, DeviceOrientation now) {
  const bool portrait = now == DeviceOrientation::portrait || now == DeviceOrientation::portraitUpsideDown;
  return wasLandscape ? portrait : isLandscape(now);
}

}  // namespace penvora::core::capture
