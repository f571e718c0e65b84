#pragma once
#include "penvora/PenvoraSDKWidget.hpp"
#include "penvora/Rect.hpp"

// The signature box of fixed, field and float mode on a page shown turned
// (its /Rotate) or cropped. Boxes stay in page space, where the signer puts
// them; what the user sees of them decides the check, the shape of the
// capture area and, for float mode, which way "under the text" is.
namespace penvora::core::document {

// Fixed mode names its box in page space; on a page turned a quarter the
// user sees its sides exchanged, and the size check and the capture area
// go by what the user sees.
PenvoraSDKWidget shownFixedWidget(const PenvoraSDKWidget& widget, int rotation);

// The capture area's shape (width ÷ height) for a fixed box on a page of
// this rotation: the box as the user sees it. One valid as asked may stand
// on its side there; it gets the nearest shape a capture can take (square),
// not the default one.
float fixedCaptureRatio(const PenvoraSDKWidget& widget, int rotation);

// A page-space box's sides as the user sees them (origin kept), for the
// ratio of a signature field.
Rect shownSides(const Rect& box, int rotation);

// The float box hangs under the found text and starts at its left edge as
// the user reads the page; widgetWidth and widgetHeight are its sides as
// seen. On an upright page this is `floatBounds` as it stands.
Rect floatBoundsOnPage(const PenvoraSDKWidget& widget, const Rect& match, const Rect& crop, int rotation);

}  // namespace penvora::core::document
