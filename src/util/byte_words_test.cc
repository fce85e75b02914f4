// Words of eight bytes: the first byte in the lowest bits, both ways.
#include "util/byte_words.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(StoreBytes, WritesTheLowestBitsFirstAsLoadBytesReads) {
  unsigned char bytes[9] = {};
  storeBytes(bytes + 1, 0x0807060504030201ULL);  // from an odd address
  for (int k = 0; k < 8; ++k) EXPECT_EQ(bytes[k + 1], k + 1);
  EXPECT_EQ(loadBytes(bytes + 1), 0x0807060504030201ULL);
}

}  // namespace
