#pragma once
#include <optional>

#include "core/document/PageGeometry.hpp"
#include "penvora/Rect.hpp"

// The arithmetic of placing the signature box by hand, in page space
// (points, y upwards). Rotations are the page's display rotation.
namespace penvora::core::document {

inline constexpr double kIconSide = 40.0;         // control icons
inline constexpr double kMinSignatureHeight = 50.0;

// The new box: r·75 by 75 as the user sees it, centred on the crop box.
Rect initialBox(const Rect& crop, int rotation, double ratio);

enum class Icon { close, accept, expand };
// Close sits top-left, accept top-right and expand bottom-right as the
// user sees the page, whatever its rotation.
Rect iconBounds(Icon icon, const Rect& box, int rotation, double side = kIconSide);

// The box centred on `touch`, kept inside the crop box (what is shown).
Rect movedBox(const Rect& box, Point touch, const Rect& crop);

// One resize step from the last touch `start` to `touch` (viewer
// coordinates; only x counts). On unrotated pages the size follows the
// finger and is clamped; on turned pages each step changes it by a fixed
// amount and a step that would break a limit gives nothing. The limits
// are the crop box's edges.
std::optional<Rect> resizedBox(const Rect& box, int rotation, double ratio, Point start, Point touch,
                               const Rect& crop);

// What the engine gets: the box where the user saw it, in page space
// whatever the rotation (the signer turns the picture with the page), its
// corners on whole points.
Rect acceptedBounds(const Rect& box);

// The scroll offset after a drag near the top or bottom edge, or none.
std::optional<double> autoScrollOffset(double touchY, double offsetY, double screenHeight, double boundsMaxY,
                                       double contentHeight);

}  // namespace penvora::core::document
