#include "core/capture/LocationFix.hpp"

namespace penvora::core::capture {

std::string statusString(int raw) {
  switch (raw) {
    case 0:
      return "notDetermined";
    case 1:
      return "restricted";
    case 2:
      return "denied";
    case 3:
      return "authorizedAlways";
    case 4:
      return "authorizedWhenInUse";
    default:
      return "unknown";
  }
}

std::string statusString(const LocationAuthorization* status) {
  return status ? statusString(static_cast<int>(*status)) : "unknown";
}

}  // namespace penvora::core::capture
