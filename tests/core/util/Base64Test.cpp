#include <gtest/gtest.h>

#include "core/util/Base64.hpp"

using namespace penvora::core::util;

TEST(Base64, PaddedGroupsOfFourWithUnknownCharactersSkippedWhereAsked) {
  EXPECT_EQ(base64Encode(Bytes{'A', 'B'}), "QUI=");
  EXPECT_EQ(base64Decode("QUI="), (Bytes{'A', 'B'}));
  for (const char* bad : {"QUI", "QU I=", "QUI=QUI=", "Q==="}) EXPECT_FALSE(base64Decode(bad)) << bad;
  EXPECT_EQ(base64DecodeIgnoringUnknown("Q U\nI=\r\n"), (Bytes{'A', 'B'}));
  EXPECT_EQ(base64DecodeIgnoringUnknown("%%%"), Bytes{});
  for (const char* bad : {"QUI", "QUJDRA", "QUI=QQ=="}) EXPECT_FALSE(base64DecodeIgnoringUnknown(bad)) << bad;
}
