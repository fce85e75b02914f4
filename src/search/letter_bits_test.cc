// The 64-byte letter tests of the letter index's passes, on every kind of
// byte: both ways of testing must find exactly the bytes equal to the
// letter.
#include "search/letter_bits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace {

std::uint64_t byteByByte(const unsigned char* p, unsigned char letter) {
  std::uint64_t bits = 0;
  for (int k = 0; k < 64; ++k) bits |= std::uint64_t{p[k] == letter} << k;
  return bits;
}

TEST(LetterBits, FindExactlyTheBytesEqualToTheLetter) {
  std::mt19937 rng(20261208);
  unsigned char bytes[64];
  // Neighbours of the letter (a carry between bytes would show there), and
  // the bytes with their top bit set.
  for (const unsigned letter : {0x00u, 0x01u, 0x41u, 0x7fu, 0x80u, 0x81u, 0xfeu, 0xffu}) {
    for (int round = 0; round < 200; ++round) {
      for (unsigned char& byte : bytes) {
        const unsigned near = letter + static_cast<unsigned>(rng() % 3) - 1;
        byte = static_cast<unsigned char>(rng() % 2 == 0 ? near : rng());
      }
      const auto l = static_cast<unsigned char>(letter);
      ASSERT_EQ(letterBits(bytes, l), byteByByte(bytes, l)) << letter;
      ASSERT_EQ(letterBitsPortable(bytes, l), byteByByte(bytes, l)) << letter;
    }
  }
}

TEST(ReverseBits, MovesEachBitToItsMirror) {
  for (int k = 0; k < 64; ++k) {
    ASSERT_EQ(reverseBits(std::uint64_t{1} << k), std::uint64_t{1} << (63 - k)) << k;
  }
  EXPECT_EQ(reverseBits(0x0123456789abcdefULL), 0xf7b3d591e6a2c480ULL);
}

}  // namespace
