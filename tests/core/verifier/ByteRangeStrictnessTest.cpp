#include <gtest/gtest.h>

#include "penvora/SignatureVerifier.hpp"
#include "support/UpdateSupport.hpp"

using testsupport::TempDir, testsupport::writeText;

using pdftest::withRange;

TEST(ByteRangeStrictnessTest, EachFlawInTheByteRangeOrThePaddingIsNamed) {
  TempDir dir;
  const std::string file = pdftest::signedPlain(dir);
  const auto sig = pdftest::signatures(file).at(0);
  const auto& r = sig.range;
  const struct {
    const char* name;
    std::string mutated;  // the same length as the file
    const char* problem;
  } cases[] = {
      {"garbage after the CMS in the padding", file.substr(0, r[2] - 5) + "41" + file.substr(r[2] - 3),
       "bytes other than zero follow the signature in the /Contents padding"},
      {"not starting at 0", withRange(file, 1, r[1] - 1, r[2], r[3]),
       "byte range does not start at the beginning of the file"},
      {"a gap before /Contents", withRange(file, 0, r[1] - 1, r[2], r[3]),
       "the gap in the byte range is not exactly the /Contents hex string"},
      {"a gap inside /Contents", withRange(file, 0, r[1] + 3, r[2], r[3]),
       "the gap in the byte range is not exactly the /Contents hex string"},
      {"overlapping ranges", withRange(file, 0, r[2] + 2, r[2], r[3]), "byte ranges out of order or overlapping"},
      {"ending inside the revision", withRange(file, 0, r[1], r[2], r[3] - 4),
       "the byte range does not end where a revision ends (%%EOF)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.mutated.size(), file.size());
    writeText(dir / "mutated.pdf", c.mutated);
    const auto s = penvora::verifySignatures((dir / "mutated.pdf").string()).signatures.at(0);
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.problem, c.problem);
  }
  // The untouched file passes every check.
  const auto s = penvora::verifySignatures((dir / "signed.pdf").string()).signatures.at(0);
  EXPECT_TRUE(s.valid) << s.problem;
  EXPECT_EQ(s.modification, "none");
}
