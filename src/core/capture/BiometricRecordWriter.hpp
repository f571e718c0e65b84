#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/LocationFix.hpp"
#include "penvora/Rect.hpp"

namespace penvora::core::capture {

// One sampled point: canvas coordinates (points, y down) and the time since
// its stroke began, in seconds.
struct CapturedPoint {
  double x = 0, y = 0;
  double timeOffset = 0;
  double pressure = 1;  // 0..1 as the pen reports it; 1 for mouse and touch
};

// One stroke: when its path was created (milliseconds since 1970, the
// platform's seconds × 1000 truncated) and its points in path order.
struct CapturedStroke {
  double creationTimeMs = 0;
  std::vector<CapturedPoint> points;
};

struct BiometricRecordInputs {
  double screenWidth = 0, screenHeight = 0;  // main screen bounds, points
  Rect canvasFrame;                          // canvas view frame, y down
  std::chrono::system_clock::time_point timeStart, timeEnd;
  std::string documentPath;  // digested into SOFTWARE
  std::string hostVersion;   // host application's short version, or ""
  std::optional<LocationFix> location;
  std::optional<std::int64_t> locationTimeMs;  // "now" of the GPS text; absent: the clock
  std::vector<CapturedStroke> strokes;
  // 0: PRESS 1 and MAX_PRESS 1. Otherwise MAX_PRESS, and each point's
  // PRESS is its pressure on that scale.
  int pressureScale = 0;
  // Device facts; absent: this device's.
  std::optional<std::string> deviceModel, systemVersion, cpuDescription;
};

// Writes the biometric record text: header line, values line, column line
// and one row per point.
class BiometricRecordWriter {
 public:
  static constexpr const char* kHeaderLine =
      "MAX_X;MAX_Y;MAX_PRESS;LCD_WIDTH;LCD_HEIGHT;LX;RX;TY;BY;TIME_START;TIME_END;HARDWARE;SOFTWARE;EXTRA\n";
  static constexpr const char* kColumnLine = "X;Y;PRESS;SW;TIME";
  static constexpr int kPressureScale = 1023;  // what a host asking for pen pressure gets

  static std::string buildRecord(const BiometricRecordInputs& inputs);
  // UTF-8 bytes of the record, base64: what travels as pointsB64.
  static std::string encodeRecord(const std::string& record);

  // Pieces, public for their own tests.
  static std::string dateText(std::chrono::system_clock::time_point t);  // dd/MM/yyyy@HH:mm:ss, local zone
  static std::string shortestDecimal(double v);                          // round-trips; 650.0 keeps ".0"
  static std::string locationText(const LocationFix& fix, std::int64_t nowMs);
  static std::string softwareText(const std::string& hostVersion, const std::string& documentPath);
  // The stroke offsets O(i) in milliseconds, one per stroke.
  static std::vector<std::int64_t> strokeOffsets(const std::vector<CapturedStroke>& strokes);
  static std::int64_t truncateToInt(double v);
};

}  // namespace penvora::core::capture
