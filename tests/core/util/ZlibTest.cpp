#include <gtest/gtest.h>

#include "core/util/Zlib.hpp"

using namespace penvora::core::util;

TEST(Zlib, InflatesWhatItCompressedAndRefusesTruncatedDamagedAndOversizedStreams) {
  const std::string many(5000, 'a');
  EXPECT_EQ(zlibInflate(zlibCompress(many, 9).value_or(""), many.size()), toBytes(many));
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
