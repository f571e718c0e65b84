#include "core/capture/BiometricRecordWriter.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "core/capture/DeviceInfo.hpp"
#include "core/capture/PlatformFacts.hpp"
#include "core/util/Base64.hpp"
#include "core/util/SaturatingMath.hpp"
#include "core/util/Sha512.hpp"
#include "penvora/Log.hpp"

namespace penvora::core::capture {

std::int64_t BiometricRecordWriter::truncateToInt(double v) {
  // The platform never delivers non-finite or huge values; clamp rather
  // than invoke undefined behaviour if one ever arrives.
  if (!std::isfinite(v)) return 0;
  double t = std::trunc(v);
  if (t >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
  if (t <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(t);
}

std::string BiometricRecordWriter::dateText(std::chrono::system_clock::time_point t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&secs, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d/%m/%Y@%H:%M:%S", &local);
  return buf;
}

std::string BiometricRecordWriter::shortestDecimal(double v) {
  // A whole number is written out in full with one decimal at any
  // magnitude (100000.0, not 1e+05); other values in the shortest form.
  const bool whole = std::isfinite(v) && std::trunc(v) == v;
  char buf[400];  // the longest double written out in full has 309 digits
  auto [end, ec] = whole ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                         : std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, ec == std::errc() ? end : buf);
  if (whole) s += ".0";
  return s;
}

std::string BiometricRecordWriter::locationText(const LocationFix& f, std::int64_t nowMs) {
  return "<GPS>" + shortestDecimal(f.longitude) + ";" + shortestDecimal(f.latitude) + ";" +
         shortestDecimal(f.altitude) + ";" + shortestDecimal(f.horizontalAccuracy) + ";" + std::to_string(nowMs) +
         "</GPS>";
}

std::string BiometricRecordWriter::softwareText(const std::string& hostVersion, const std::string& documentPath) {
  auto digest = util::sha512HexOfFile(documentPath);
  if (!digest) penvora::log("Error reading document for its digest: " + documentPath);
  return std::string("Penvora SDK ") + kPlatformName + "|" + hostVersion + "|" +
         "SHA-2-512 PDF: " + digest.value_or("");
}

// One clock for all strokes: stroke i starts at its creation time relative
// to stroke 0, except that it never starts before the previous stroke's
// last point. So
//   O(i) = O(i-1) + max(C(i) - C(i-1), trunc(L(i-1) * 1000)),
// which keeps creation-time gaps between strokes (pen lifts) and keeps
// every stroke's rows after the previous stroke's, even when the two
// clocks disagree by a few milliseconds.
std::vector<std::int64_t> BiometricRecordWriter::strokeOffsets(const std::vector<CapturedStroke>& strokes) {
  std::vector<std::int64_t> o(strokes.size(), 0);
  for (std::size_t i = 1; i < strokes.size(); ++i) {
    const std::int64_t created =
        util::subtractSaturated(truncateToInt(strokes[i].creationTimeMs), truncateToInt(strokes[i - 1].creationTimeMs));
    const auto& prev = strokes[i - 1].points;
    const std::int64_t duration = prev.empty() ? 0 : truncateToInt(prev.back().timeOffset * 1000.0);
    o[i] = util::addSaturated(o[i - 1], std::max(created, duration));
  }
  return o;
}

std::string BiometricRecordWriter::buildRecord(const BiometricRecordInputs& in) {
  const std::string model = in.deviceModel.value_or(DeviceInfo::deviceModelName());
  const std::string version = in.systemVersion.value_or(DeviceInfo::systemVersion());
  const std::string cpu = in.cpuDescription.value_or(DeviceInfo::cpuArchitectureDescription());
  // The labels are the keys existing readers split on; they stay as they
  // are whatever the platform.
  const std::string hardware = util::base64Encode(model + "|Version iOS=" + version + "|Arquitectura=" + cpu);
  const std::string software = util::base64Encode(softwareText(in.hostVersion, in.documentPath));
  std::string extra;
  if (in.location) {
    const std::int64_t now = in.locationTimeMs.value_or(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    extra = util::base64Encode(locationText(*in.location, now));
  }

  const auto& f = in.canvasFrame;
  const double minX = std::min(f.x, f.x + f.width), maxX = std::max(f.x, f.x + f.width);
  const double minY = std::min(f.y, f.y + f.height), maxY = std::max(f.y, f.y + f.height);
  const std::int64_t w = truncateToInt(in.screenWidth), h = truncateToInt(in.screenHeight);
  const std::string values[] = {std::to_string(w),
                                std::to_string(h),
                                std::to_string(in.pressureScale > 0 ? in.pressureScale : 1),
                                std::to_string(w),
                                std::to_string(h),
                                std::to_string(truncateToInt(minX)),
                                std::to_string(truncateToInt(maxX)),
                                std::to_string(truncateToInt(minY)),
                                std::to_string(truncateToInt(maxY)),
                                dateText(in.timeStart),
                                dateText(in.timeEnd),
                                hardware,
                                software,
                                extra};

  std::string record = kHeaderLine;
  for (std::size_t i = 0; i < std::size(values); ++i) {
    if (i) record += ';';
    record += values[i];
  }
  record += '\n';
  record += kColumnLine;

  const auto offsets = strokeOffsets(in.strokes);
  for (std::size_t s = 0; s < in.strokes.size(); ++s) {
    for (const auto& p : in.strokes[s].points) {
      record += '\n';
      record += std::to_string(truncateToInt(p.x));
      record += ';';
      record += std::to_string(truncateToInt(p.y));
      record += ';';
      // A pressure that is no number (a device's glitch) counts as none.
      const double pressure = std::isfinite(p.pressure) ? std::clamp(p.pressure, 0.0, 1.0) : 0.0;
      record += in.pressureScale > 0 ? std::to_string(std::lround(pressure * in.pressureScale)) : std::string("1");
      record += ";1;";
      record += std::to_string(util::addSaturated(truncateToInt(p.timeOffset * 1000.0), offsets[s]));
    }
  }
  return record;
}

std::string BiometricRecordWriter::encodeRecord(const std::string& record) { return util::base64Encode(record); }

}  // namespace penvora::core::capture
