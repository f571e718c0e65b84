#include <gtest/gtest.h>

#include "core/engine/ESSUtils.hpp"
#include "core/util/Base64.hpp"
#include "support/TestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;

namespace {
using testsupport::inflateZlib;

std::vector<std::string> headerOnly() {
  return {"MAX_X;...", "1024;768;1;1024;768;0;500;0;300;a;b;c;d;", "X;Y;PRESS;SW;TIME"};
}
}  // namespace

TEST(ESSUtils, DerTaggedLengths) {
  EXPECT_EQ(ESSUtils::derTagged(0x1A, std::nullopt), (Bytes{0x1A, 0x00}));
  EXPECT_EQ(ESSUtils::derTagged(0x1A, Bytes{}), (Bytes{0x1A, 0x00}));
  for (const Bytes& head : {Bytes{0x1A, 0x7F}, Bytes{0x1A, 0x81, 0xC8}, Bytes{0x1A, 0x82, 0x01, 0x2C},
                            Bytes{0x04, 0x83, 0x01, 0x11, 0x70}}) {
    const std::size_t size = head.size() == 2 ? 127 : head.size() == 3 ? 200 : head.size() == 4 ? 300 : 70000;
    const Bytes b = ESSUtils::derTagged(head[0], Bytes(size, 7));
    EXPECT_EQ(Bytes(b.begin(), b.begin() + static_cast<long>(head.size())), head) << size;
    EXPECT_EQ(b.size(), head.size() + size);
  }
  testsupport::CapturedLog log;
  Bytes huge(16777216, 1);
  EXPECT_EQ(ESSUtils::derTagged(0x1A, huge).size(), huge.size());
  EXPECT_TRUE(log.contains("The data is too long"));
}

TEST(ESSUtils, Integers) {
  EXPECT_EQ(ESSUtils::parseInteger("42", 0), 42);
  EXPECT_EQ(ESSUtils::parseInteger("+7", 0), 7);
  EXPECT_EQ(ESSUtils::parseInteger("-9223372036854775808", 0), INT64_MIN);
  for (const char* bad : {"", "-", "+", " 1", "1 ", "1.5", "0x10", "99999999999999999999", "--1"})
    EXPECT_EQ(ESSUtils::parseInteger(bad, -1), -1) << bad;
}

TEST(ESSUtils, CompressIsAZlibStreamWithFixedHeader) {
  for (const Bytes& input : {Bytes{}, toBytes("hello hello hello hello"), Bytes(100000, 'x')}) {
    auto z = ESSUtils::compress(input);
    ASSERT_TRUE(z);
    EXPECT_EQ(Bytes(z->begin(), z->begin() + 2), (Bytes{0x78, 0xDA}));
    EXPECT_EQ(inflateZlib(*z), input);
  }
}

TEST(PointsToBinary, HeaderOnlyRecordIs35Bytes) {
  auto bin = core::util::base64Decode(ESSUtils::pointsToBinary(headerOnly()));
  ASSERT_TRUE(bin);
  ASSERT_EQ(bin->size(), 35u);
  const Bytes expected{'S',  'D',  'I',  0, ' ', '1',  '0',  0,    0xC0, 0xC0, 0x60, 0,    0, 0x04, 0x00, 0x60, 0, 0,
                       0x03, 0x00, 0x60, 0, 0,   0x00, 0x01, 0x60, 0,    0,    0xFF, 0xFF, 0, 1,    0,    0,    0};
  EXPECT_EQ(*bin, expected);
}

TEST(PointsToBinary, RowsAreEncodedOrSkippedButCounted) {
  auto lines = headerOnly();
  lines.push_back("-5;10;1;1;250");
  lines.push_back("1;2;1;1");        // four fields: skipped, counted
  lines.push_back("1;2;1;1;5;6");    // six fields
  lines.push_back("a;2;1;1;5");      // not numeric
  lines.push_back("40000;2;1;1;5");  // X out of range
  lines.push_back("1;2;1;1;70000");  // TIME out of range
  lines.push_back("3;-1;1;x;0");     // a written -1 reads as a failed field
  auto bin = core::util::base64Decode(ESSUtils::pointsToBinary(lines));
  ASSERT_TRUE(bin);
  ASSERT_EQ(bin->size(), 35u + 8u);
  EXPECT_EQ(Bytes(bin->begin() + 33, bin->begin() + 35), (Bytes{0, 7}));  // lines - 3
  EXPECT_EQ(Bytes(bin->begin() + 35, bin->end()), (Bytes{0x7F, 0xFB, 0x80, 0x0A, 0x00, 0x01, 0x00, 0xFA}));
}

TEST(PointsToBinary, UnencodableRecordsGiveNothing) {
  EXPECT_EQ(ESSUtils::pointsToBinary({"a", "b"}), "");
  auto lines = headerOnly();
  lines[1] = "70000;768;1";
  EXPECT_EQ(ESSUtils::pointsToBinary(lines), "");
  lines[1] = "";  // missing fields read as 0
  EXPECT_NE(ESSUtils::pointsToBinary(lines), "");
  lines = headerOnly();
  lines.resize(65539, "1;1;1;1;1");
  EXPECT_EQ(ESSUtils::pointsToBinary(lines), "");
  lines.resize(65538);
  EXPECT_NE(ESSUtils::pointsToBinary(lines), "");
}
