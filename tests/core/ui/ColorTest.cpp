#include <gtest/gtest.h>

#include "penvora/Color.hpp"

using penvora::colorFromHex;
using penvora::Rgba;

TEST(ColorFromHex, LengthsAndChannels) {
  const Rgba black{0, 0, 0, 255};
  EXPECT_EQ(colorFromHex("#000000"), black);
  EXPECT_EQ(colorFromHex("000000"), black);
  EXPECT_EQ(colorFromHex("000"), black);
  EXPECT_EQ(colorFromHex("F00"), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(colorFromHex("#80FF0000"), (Rgba{255, 0, 0, 128}));
  EXPECT_EQ(colorFromHex("0057A2"), (Rgba{0x00, 0x57, 0xA2, 255}));
  EXPECT_EQ(colorFromHex("  #abc!! "), (Rgba{0xAA, 0xBB, 0xCC, 255}));
}

TEST(ColorFromHex, MalformedTextNeverFails) {
  const Rgba black{0, 0, 0, 255};
  EXPECT_EQ(colorFromHex("12345"), black);
  EXPECT_EQ(colorFromHex("FFFFF"), black);
  EXPECT_EQ(colorFromHex("G12345"), black);  // scans as 0
  EXPECT_EQ(colorFromHex(""), black);
  EXPECT_EQ(colorFromHex("#"), black);
  EXPECT_EQ(colorFromHex("FFFFFFFFFFFFFFFFFFFFFFFF"), black);
  // Scanning stops at the first non-hex character, the length still rules.
  EXPECT_EQ(colorFromHex("FF00ZZ"), (Rgba{0, 0xFF, 0, 255}));
}
