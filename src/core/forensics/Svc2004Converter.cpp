#include "core/forensics/Svc2004Converter.hpp"

#include <algorithm>
#include <sstream>
#include <vector>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/forensics/PenSignature.hpp"

namespace penvora::core::forensics {

std::string Svc2004Converter::toRecordText(const std::string& svcText, bool keepPressure, const std::string& origin) {
  std::istringstream in(svcText);
  long count = 0;
  if (!(in >> count) || count < 2 || count > 1000000)
    throw ForensicsError(origin + ": not an SVC2004 file (bad sample count)");
  struct Row {
    long x, y, t, p;
  };
  std::vector<Row> rows;
  for (long i = 0; i < count; ++i) {
    long v[7];
    for (long& c : v)
      if (!(in >> c)) throw ForensicsError(origin + ": sample " + std::to_string(i + 1) + " is incomplete");
    rows.push_back({v[0], v[1], v[2], v[6]});
  }
  long maxX = 0, maxY = 0;
  for (const auto& r : rows) maxX = std::max(maxX, r.x), maxY = std::max(maxY, r.y);
  const long maxPress = keepPressure ? 1023 : 1;
  const std::string size = std::to_string(maxX) + ";" + std::to_string(maxY);
  std::string out = capture::BiometricRecordWriter::kHeaderLine;
  out += size + ";" + std::to_string(maxPress) + ";" + size + ";0;" + std::to_string(maxX) + ";0;" +
         std::to_string(maxY) + ";;;;;\n";
  out += capture::BiometricRecordWriter::kColumnLine;
  long last = 0;
  for (const auto& r : rows) {
    // A few files hold a stamp a little before its predecessor.
    last = std::max(last, r.t - rows.front().t);
    out += "\n" + std::to_string(r.x) + ";" + std::to_string(maxY - r.y) + ";" +
           std::to_string(keepPressure ? std::clamp(r.p, 0L, maxPress) : 1L) + ";1;" + std::to_string(last);
  }
  return out;
}

}  // namespace penvora::core::forensics
