#include <gtest/gtest.h>

#include "core/util/Hex.hpp"

using namespace penvora::core::util;

TEST(Hex, EncodesInEitherCaseAndDecodesStrictlyOrUpToTheFirstNonDigit) {
  EXPECT_EQ(hexEncode(Bytes{0x00, 0xAB, 0x1F}), "00AB1F");
  EXPECT_EQ(hexEncode(std::string_view("\xAB"), HexCase::Lower), "ab");
  EXPECT_EQ(hexEncode(std::string_view()), "");
  EXPECT_EQ(hexDecode("00aBff"), std::string("\x00\xAB\xFF", 3));
  EXPECT_EQ(hexDecode(""), "");
  for (const char* bad : {"0", "abc", "0g", " 00", "00 ", "+1"}) EXPECT_FALSE(hexDecode(bad)) << bad;
  EXPECT_EQ(hexDecodeLeading("3082>"), "\x30\x82");
  EXPECT_EQ(hexDecodeLeading("308 2"), "\x30");
  EXPECT_EQ(hexDecodeLeading("x30"), "");
}
