#include <gtest/gtest.h>

#include "core/util/Zlib.hpp"

using namespace penvora::core::util;

TEST(Zlib, InflatesWhatItCompressed) {
  const std::string text(5000, 'a');
  auto z = zlibCompress(text, 9);
  ASSERT_TRUE(z);
  EXPECT_EQ(zlibInflate(*z, text.size()), toBytes(text));
}

TEST(Zlib, RefusesTruncatedDamagedAndOversizedStreams) {
  const std::string text = "hello hello hello hello";
  const std::string z = *zlibCompress(text, 6);
  EXPECT_FALSE(zlibInflate(std::string_view(z).substr(0, z.size() - 1), 1000));
  EXPECT_FALSE(zlibInflate(std::string_view(z).substr(0, 2), 1000));
  std::string damaged = z;
  damaged[damaged.size() - 1] ^= 1;  // the Adler-32
  EXPECT_FALSE(zlibInflate(damaged, 1000));
  EXPECT_FALSE(zlibInflate(z, text.size() - 1));
  EXPECT_FALSE(zlibInflate("", 1000));
}
