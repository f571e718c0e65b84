#pragma once
#include <string>

namespace penvora::core::capture {

// What the canvas capture view needs from the request.
struct DrawerModel {
  double ratio = 1.0;  // width ÷ height of the signature box; the canvas keeps it
  std::string signatureColorHex = "#000000";
  int signatureThickness = 10;  // ink width, points
  bool requestUserLocation = false;
  std::string url;  // the document digested into the record
  bool recordPenPressure = false;
  bool allowConfirmWithoutDrawing = false;  // the panel offers "Confirm without drawing"
};

}  // namespace penvora::core::capture
