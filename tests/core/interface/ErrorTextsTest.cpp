#include <gtest/gtest.h>

#include "penvora/ErrorTexts.hpp"

using namespace penvora;

TEST(OutputNameCheck, CaseInsensitivePdfExtension) {
  EXPECT_TRUE(hasPdfExtension("contract.pdf"));
  EXPECT_TRUE(hasPdfExtension("CONTRACT.PDF"));
  EXPECT_TRUE(hasPdfExtension("a.PdF"));
  EXPECT_TRUE(hasPdfExtension(".pdf"));
  EXPECT_FALSE(hasPdfExtension("contract.pdf.txt"));
  EXPECT_FALSE(hasPdfExtension("contract"));
  EXPECT_FALSE(hasPdfExtension(""));
  EXPECT_FALSE(hasPdfExtension("pdf"));
  EXPECT_FALSE(hasPdfExtension("contract.pdf "));
}

TEST(ErrorTexts, FloatTextMessageShape) {
  EXPECT_EQ(floatTextNotFoundMessage("IncorrectFloatText", "Firma", "onDocument"),
            "IncorrectFloatText 'Firma' onDocument");
}
