#pragma once
#include <optional>

#include "core/document/PageGeometry.hpp"
#include "penvora/Rect.hpp"

// The arithmetic of placing the signature box by hand, in page space
// (points, y upwards). Rotations are the page's display rotation.
namespace penvora::core::document {

inline constexpr double kIconSide = 40.0;  // control icons
inline constexpr double kMinSignatureHeight = 50.0;

// The new box: r·75 by 75 as the user sees it, centred on the crop box.
Rect initialBox(const Rect& crop, int rotation, double ratio);

enum class Icon { close, accept, expand };
// Close sits top-left, accept top-right and expand bottom-right as the
// user sees the page, whatever its rotation.
Rect iconBounds(Icon icon, const Rect& box, int rotation, double side = kIconSide);

// The box centred on `touch`, kept inside the crop box (what is shown).
Rect movedBox(const Rect& box, Point touch, const Rect& crop);

// The box with its expand handle (the bottom-right corner as shown) under
// the finger, given in page space: the top-left corner as shown stays, the
// sides keep the shown ratio width / height, and the box stays at least
// kMinSignatureHeight high and inside the crop box. The dominant direction
// of the drag decides the size, so the handle follows the finger one to one.
Rect resizedToHandle(const Rect& box, int rotation, double ratio, Point finger, const Rect& crop);
// That corner of the box (bottom-right as shown) in page space.
Point expandHandleCorner(const Rect& box, int rotation, const Rect& crop);

// What the engine gets: the box where the user saw it, in page space
// whatever the rotation (the signer turns the picture with the page), its
// corners on whole points.
Rect acceptedBounds(const Rect& box);

// The scroll offset after a drag near the top or bottom edge, or none.
std::optional<double> autoScrollOffset(double touchY, double offsetY, double screenHeight, double boundsMaxY,
                                       double contentHeight);

}  // namespace penvora::core::document
