// Rules on texts the host hands in: the output name, a colour, a message.
#include <gtest/gtest.h>

#include "penvora/Color.hpp"
#include "penvora/ErrorTexts.hpp"

using namespace penvora;

TEST(OutputNameCheck, CaseInsensitivePdfExtension) {
  for (const char* yes : {"contract.pdf", "CONTRACT.PDF", "a.PdF", ".pdf"}) EXPECT_TRUE(hasPdfExtension(yes)) << yes;
  for (const char* no : {"contract.pdf.txt", "contract", "", "pdf", "contract.pdf "})
    EXPECT_FALSE(hasPdfExtension(no)) << no;
}

TEST(ColorFromHex, LengthsAndChannels) {
  const Rgba black{0, 0, 0, 255};
  EXPECT_EQ(colorFromHex("#000000"), black);
  EXPECT_EQ(colorFromHex("000000"), black);
  EXPECT_EQ(colorFromHex("000"), black);
  EXPECT_EQ(colorFromHex("F00"), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(colorFromHex("#80FF0000"), (Rgba{255, 0, 0, 128}));
  EXPECT_EQ(colorFromHex("0057A2"), (Rgba{0x00, 0x57, 0xA2, 255}));
  EXPECT_EQ(colorFromHex("  #abc!! "), (Rgba{0xAA, 0xBB, 0xCC, 255}));
  // Malformed text never fails: black. ("G12345" scans as 0.)
  for (const char* bad : {"12345", "FFFFF", "G12345", "", "#", "FFFFFFFFFFFFFFFFFFFFFFFF"})
    EXPECT_EQ(colorFromHex(bad), black) << bad;
  // Scanning stops at the first non-hex character, the length still rules.
  EXPECT_EQ(colorFromHex("FF00ZZ"), (Rgba{0, 0xFF, 0, 255}));
  // Characters, not bytes: "é" is one letter (kept, counted once), "€" is no letter (trimmed).
  EXPECT_EQ(colorFromHex("F0é"), (Rgba{0x00, 0xFF, 0x00, 255}));  // three characters; 0xF0 scanned
  EXPECT_EQ(colorFromHex("€0057A2€"), (Rgba{0x00, 0x57, 0xA2, 255}));
}
