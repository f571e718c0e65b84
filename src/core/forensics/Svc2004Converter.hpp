#pragma once
#include <string>

namespace penvora::core::forensics {

// The public on-line signature format of the SVC2004 competition (first
// line the sample count, then X Y T button azimuth altitude pressure per
// line) as our biometric record text, so the comparison is measured on
// the same text it reads in the back office.
class Svc2004Converter {
 public:
  // Pressure (0..1023) is kept, with MAX_PRESS 1023; without it the
  // record carries PRESS 1 and MAX_PRESS 1 as captured records do. Y is
  // flipped (tablet y up, record y down) and TIME starts at 0 and never
  // steps back. Throws ForensicsError naming `origin`.
  static std::string toRecordText(const std::string& svcText, bool keepPressure, const std::string& origin);
};

}  // namespace penvora::core::forensics
