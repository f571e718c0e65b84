#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/capture/PlatformFacts.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Sha512.hpp"
#include "support/TestSupport.hpp"

using namespace penvora;
using namespace penvora::core::capture;
using namespace penvora::core::engine;
using namespace penvora::core::util;
using W = BiometricRecordWriter;

namespace {

// TZ for the lifetime of the object; the zone is read again on each change.
struct ZoneGuard {
  struct Reread {
    ~Reread() { tzset(); }
  } reread;  // destroyed after TZ is restored
  testsupport::ScopedEnv tz;
  explicit ZoneGuard(const char* zone) : tz("TZ", zone) { tzset(); }
};

BiometricRecordInputs baseInputs(const std::string& doc) {
  BiometricRecordInputs in;
  in.screenWidth = 1280.9;
  in.screenHeight = 800.2;
  in.canvasFrame = Rect{20.7, 100.2, 600.5, 400.9};
  in.timeStart = std::chrono::system_clock::from_time_t(1767261600);  // 2026-01-01 10:00:00 UTC
  in.timeEnd = in.timeStart + std::chrono::seconds(9);
  in.documentPath = doc;
  in.hostVersion = "2.3";
  in.deviceModel = "LENOVO 20XW";
  in.systemVersion = "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64";
  in.cpuDescription = "x86_64 Intel(R) Xeon(R) W-1250";
  return in;
}

std::vector<std::string> lines(const std::string& record) { return ESSUtils::split(record, '\n'); }

}  // namespace

TEST(BiometricRecord, NoPointsEndsAtColumnLine) {
  ZoneGuard utc("UTC");
  testsupport::TempDir dir;
  testsupport::writeText(dir / "d.pdf", "%PDF");
  const std::string r = W::buildRecord(baseInputs((dir / "d.pdf").string()));
  const std::string header = W::kHeaderLine;
  EXPECT_EQ(header.size(), 99u);
  ASSERT_EQ(r.rfind(header, 0), 0u);
  EXPECT_TRUE(r.ends_with("\nX;Y;PRESS;SW;TIME"));
  auto l = lines(r);
  ASSERT_EQ(l.size(), 3u);
  auto v = ESSUtils::split(l[1], ';');
  ASSERT_EQ(v.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(v.begin(), v.begin() + 11),
            (std::vector<std::string>{"1280", "800", "1", "1280", "800", "20", "621", "100", "501",
                                      "01/01/2026@10:00:00", "01/01/2026@10:00:09"}));
  EXPECT_EQ(toString(*core::util::base64Decode(v[11])),
            "LENOVO 20XW|Version iOS=Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64|Arquitectura=x86_64 "
            "Intel(R) Xeon(R) W-1250");
  EXPECT_EQ(toString(*core::util::base64Decode(v[12])),
            std::string("Penvora SDK ") + kPlatformName + "|2.3|SHA-2-512 PDF: " + sha512Hex(toBytes("%PDF")));
  EXPECT_EQ(v[13], "");  // the line ends with ';'
}

TEST(BiometricRecord, RowsTruncateTowardZeroAndShareOneClock) {
  ZoneGuard utc("UTC");
  auto in = baseInputs("/nonexistent/doc.pdf");
  in.strokes.push_back({1000.0, {{-0.7, 5.9, 0.0}, {-3.2, 10.1, 0.0155}, {4.0, 4.0, 0.2}}});
  // Second stroke created 500 ms later.
  in.strokes.push_back({1500.0, {{1, 1, 0.0}, {2, 2, 0.05}}});
  // Third stroke's creation time is slightly before the previous stroke's
  // last point; its rows still follow.
  in.strokes.push_back({1520.0, {{3, 3, 0.0}}});
  testsupport::CapturedLog log;
  auto l = lines(W::buildRecord(in));
  ASSERT_EQ(l.size(), 3u + 6u);
  EXPECT_EQ(std::vector(l.begin() + 3, l.end()),
            (std::vector<std::string>{"0;5;1;1;0", "-3;10;1;1;15", "4;4;1;1;200", "1;1;1;1;500", "2;2;1;1;550",
                                      "3;3;1;1;550"}));
  // Unreadable document: empty digest, record still built, failure logged.
  auto v = ESSUtils::split(l[1], ';');
  EXPECT_TRUE(toString(*core::util::base64Decode(v[12])).ends_with("SHA-2-512 PDF: "));
  EXPECT_EQ(log.lines.size(), 1u);
}

// What a device should never send still makes a record: a pressure that is
// no number counts as none, creation times at the ends of the clock do not
// overflow the offsets (the sanitizer build checks).
TEST(BiometricRecord, ImpossibleDeviceValuesStayInRange) {
  auto in = baseInputs("/nonexistent");
  in.pressureScale = W::kPressureScale;
  in.strokes.push_back({-1e300, {{1, 1, 0.0, std::nan("")}, {1, 1, 0.0, 2.0}}});
  in.strokes.push_back({1e300, {{2, 2, 0.0, 0.5}}});
  auto l = lines(W::buildRecord(in));
  ASSERT_EQ(l.size(), 6u);
  EXPECT_EQ(l[3], "1;1;0;1;0");
  EXPECT_EQ(l[4], "1;1;1023;1;0");
  EXPECT_EQ(l[5], "2;2;512;1;9223372036854775807");
}

TEST(BiometricRecord, LocationTextLongitudeFirst) {
  auto in = baseInputs("/nonexistent");
  in.location = LocationFix{-3.70379, 40.416775, 650.0, 5.5};
  in.locationTimeMs = 1767261600123;
  auto v = ESSUtils::split(lines(W::buildRecord(in))[1], ';');
  EXPECT_EQ(toString(*core::util::base64Decode(v[13])), "<GPS>-3.70379;40.416775;650.0;5.5;1767261600123</GPS>");
  EXPECT_EQ(W::shortestDecimal(0.1), "0.1");
  EXPECT_EQ(W::shortestDecimal(-0.0), "-0.0");
  EXPECT_EQ(W::shortestDecimal(100000.0), "100000.0");  // a whole number keeps its decimal at any size
  EXPECT_EQ(W::shortestDecimal(1e22), "10000000000000000000000.0");
  EXPECT_EQ(std::stod(W::shortestDecimal(1.0 / 3.0)), 1.0 / 3.0);
}

TEST(BiometricRecord, DatesFollowTheLocalZone) {
  const auto t = std::chrono::system_clock::from_time_t(1767261600);
  using Z = std::pair<const char*, const char*>;
  for (auto [zone, text] : {Z{"UTC", "01/01/2026@10:00:00"}, Z{"Europe/Madrid", "01/01/2026@11:00:00"},
                            Z{"Asia/Tokyo", "01/01/2026@19:00:00"}}) {
    ZoneGuard z(zone);
    EXPECT_EQ(W::dateText(t), text) << zone;
  }
}
