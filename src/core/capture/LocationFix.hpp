#pragma once
#include <string>

namespace penvora::core::capture {

// One position fix as the record needs it.
struct LocationFix {
  double longitude = 0;           // degrees
  double latitude = 0;            // degrees
  double altitude = 0;            // metres
  double horizontalAccuracy = 0;  // metres
};

// Authorisation states of the location source and their log texts.
enum class LocationAuthorization {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorizedAlways = 3,
  authorizedWhenInUse = 4
};

// "notDetermined", ..., "unknown" for none or any other value.
std::string statusString(const LocationAuthorization* status);
std::string statusString(int rawStatus);

}  // namespace penvora::core::capture
