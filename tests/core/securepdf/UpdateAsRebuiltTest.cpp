#include <gtest/gtest.h>

#include <string>

#include "core/securepdf/UpdateAsRebuilt.hpp"

using penvora::core::securepdf::readUpdateAsRebuilt;

// Cross-reference sections that qpdf reads cleanly but some reader does not
// read as written, and so rebuilds its table on.
TEST(UpdateAsRebuiltTest, SectionsNotWrittenAsEveryReaderReadsThemAreOdd) {
  const std::string signedPart = "%PDF-1.7\n% the signed revision\n";
  auto update = [&](const std::string& entries, const std::string& header = "7 2") {
    const std::string objects = "7 0 obj\n<< >>\nendobj\n8 0 obj\n<< >>\nendobj\n";
    const std::string xref = "xref\n" + header + "\n" + entries + "trailer\n<< /Size 9 >>\n";
    const auto at = signedPart.size() + objects.size();
    return signedPart + objects + xref + "startxref\n" + std::to_string(at) + "\n%%EOF\n";
  };
  auto oddSections = [&](const std::string& file) {
    return readUpdateAsRebuilt(file, signedPart.size(), file.size(), {signedPart.size(), signedPart.size() + 21})
        .oddSections;
  };
  const std::string seven = "0000000031 00000 n", eight = "0000000052 00000 n";
  EXPECT_EQ(oddSections(update(seven + "\r\n" + eight + "\r\n")), 0);
  EXPECT_EQ(oddSections(update(seven + " \n" + eight + " \n")), 0);
  EXPECT_EQ(oddSections(update(seven + "\n" + eight + "\n")), 0);        // 19 bytes: every reader takes them
  EXPECT_EQ(oddSections(update(seven + " \r\n" + eight + " \r\n")), 1);  // 21: one reader slips a byte
  EXPECT_EQ(oddSections(update(seven + "  " + eight + "  ")), 1);        // no end of line
  EXPECT_EQ(oddSections(update(seven + "\r\n" + "0000000052 00000 x\r\n")), 1);
  EXPECT_EQ(oddSections(update(seven + "\r\n" + eight + "\r\n", "7 2 ")), 0);
  EXPECT_EQ(oddSections(update(seven + "\r\n" + eight + "\r\n", "7  2")), 1);  // one reader rebuilds on it
  // A subsection from 1 led by the free list's head: one reader numbers it from 0.
  EXPECT_EQ(oddSections(update("0000000000 65535 f\r\n" + eight + "\r\n", "1 2")), 1);
  EXPECT_EQ(oddSections(update("0000000000 65535 f\r\n" + eight + "\r\n", "0 2")), 0);
}
