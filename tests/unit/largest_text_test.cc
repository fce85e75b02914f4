// The grid, the hit triples and the masks' maps on the longest text the
// loader accepts. The text is a mapping of untouched zero pages, with
// letters written only at its two ends, so it costs no memory. The
// sanitizer build traps any int overflow on the way.

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/hit_triple.h"
#include "core/main_info.h"
#include "display/grid.h"
#include "search/letter_index.h"
#include "text/loader.h"
#include "unit/console_capture.h"

namespace {

using console_test::merged;
using console_test::readable;

constexpr int kLast = kMaxTextLen;  // 2147479551
constexpr std::size_t kMapped = std::size_t{kLast} + 1;
constexpr int kLettered = 8192;  // bytes of letters at each end

class LargestText : public testing::Test {
 protected:
  void SetUp() override {
    resetMainInfo();
    text_ = map();
    kinds_ = map();
    ASSERT_NE(text_, nullptr);
    ASSERT_NE(kinds_, nullptr);
    for (int i = 0; i < kLettered; ++i) {
      text_[i] = letter(i + 1);
      text_[kLast - kLettered + i] = letter(kLast - kLettered + i + 1);
      kinds_[i] = kinds_[kLast - kLettered + i] = '0';
    }
    mainInfo.text = text_;
    mainInfo.kindMap = kinds_;
    mainInfo.textLen = kLast;
  }

  void TearDown() override {
    resetMainInfo();
    if (text_ != nullptr) munmap(text_, kMapped);
    if (kinds_ != nullptr) munmap(kinds_, kMapped);
  }

  static char* map(std::size_t size = kMapped) {
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return block == MAP_FAILED ? nullptr : static_cast<char*>(block);
  }

  // The letter at position p.
  static char letter(int p) { return static_cast<char>('a' + p % 26); }

  // The letters at positions from to to, both included.
  static std::string letters(int from, int to) {
    std::string s;
    for (int p = from; p <= to; ++p) s.push_back(letter(p));
    return s;
  }

  static std::string highlighted(int p) { return std::string("<") + letter(p) + ">"; }

  char* text_ = nullptr;
  char* kinds_ = nullptr;
};

TEST_F(LargestText, HitTriplesAtTheEndKeepTheirCenter) {
  const HitTriple forward = forwardTriple(1, kLast - 1, 2);
  EXPECT_EQ(forward.start, kLast - 1);
  EXPECT_EQ(forward.center, kLast - 1);
  EXPECT_EQ(forward.end, kLast);
  // Backward position 1 is the text's last byte.
  const HitTriple backward = backwardTriple(1, 1, 2, kLast);
  EXPECT_EQ(backward.start, kLast - 1);
  EXPECT_EQ(backward.center, kLast - 1);
  EXPECT_EQ(backward.end, kLast);
  EXPECT_EQ(forwardTriple(kLast - 1, 1, 2).center, 1073739776);
}

// The hit at the last two positions: its center stands in row 2097147
// (from 0) at column 1021, so the window's columns are 509 to 1532 and, as
// the text ends in that row, its rows are 2097146 and 2097147.
TEST_F(LargestText, HitWindowAtTheEndOfTheText) {
  const std::string out = readable(
      merged([] { showHitWindow(1, kLast - 1, kLast - 1, 2, 1024, "AB", mainInfo.text); }));
  EXPECT_EQ(out,
            "[skip=1, string=(2147479550,2147479550,2147479551), top=2147478014, "
            "return=1024]\n" +
                letters(2147478014, 2147479037) + "\n" + letters(2147479038, kLast - 2) +
                highlighted(kLast - 1) + highlighted(kLast) + "\n");
}

TEST_F(LargestText, SelectionWindowAtTheEndOfTheText) {
  Selection selection = {1, kLast - 1, 2, nullptr};
  mainInfo.selectedCount = 1;
  const std::string out =
      readable(merged([&] { showSelectionWindow(2, 1024, mainInfo.text, &selection); }));
  EXPECT_EQ(out, "[top=2147478014, return=1024]\n" + letters(2147478014, 2147479037) + "\n" +
                     letters(2147479038, kLast - 2) + highlighted(kLast - 1) + highlighted(kLast) +
                     "\n");
}

TEST_F(LargestText, WidestSkipHasRowsAsLongAsTheText) {
  // Rows of kLast - 1 bytes; the window's columns are -512 to 511.
  const std::string out = readable(
      merged([] { showHitWindow(kLast - 1, 1, 1073739776, 2, 1024, "AB", mainInfo.text); }));
  EXPECT_EQ(out,
            "[skip=2147479550, string=(1,1073739776,2147479551), top=-511, "
            "return=2147479550]\n" +
                std::string(512, ' ') + highlighted(1) + letters(2, 512) + "\n" +
                letters(kLast - 512, kLast - 1) + highlighted(kLast) + "\n");
}

TEST_F(LargestText, FixedAreaAtTheLastPositionWithTheLongestRow) {
  mainInfo.topPos = kLast;
  mainInfo.returnLen = INT_MAX;
  const std::string out =
      readable(merged([] { showHitWindow(1, 1, 1, 2, 1024, "AB", mainInfo.text); }));
  EXPECT_EQ(out, std::string("[skip=1, string=(1,1,2), top=2147479551, return=2147483647]\n") +
                     letter(kLast) + "\n");
}

// The masks' maps: filling the first and the last tiles puts the bit of
// every position of them where the sweep reads it (at bit indexes past
// 2^31 in the long strides' last classes), and an anchor's bit for a skip
// is the bit of the position that skip reaches. The map is a mapping of
// its own, of which only those tiles' words are touched.
TEST_F(LargestText, MasksMapsHoldEveryPositionWhereTheSweepReadsIt) {
  const auto* text = reinterpret_cast<const unsigned char*>(text_);
  for (const int offset : {1, -1, 3, -3, 4000, -4000}) {
    const MapGeometry geometry = mapGeometry(offset, kLast);
    const auto size = 8 * static_cast<std::size_t>(geometry.stride * geometry.tiles);
    auto* bytes = reinterpret_cast<unsigned char*>(map(size));
    ASSERT_NE(bytes, nullptr);
    std::vector<std::uint64_t> words(static_cast<std::size_t>(geometry.stride));
    long long highest = 0;
    int set = 0;
    for (const long long tile : {0LL, 1LL, geometry.tiles - 2, geometry.tiles - 1}) {
      fillMapTile(text, kLast, geometry, 'c', tile, words.data(), bytes);
      const long long end = geometry.tileStart(tile) + geometry.tileLength(tile, kLast);
      for (long long p = geometry.tileStart(tile); p < end; ++p) {
        const long long bit = geometry.origin(static_cast<int>(p));
        ASSERT_LT(static_cast<std::size_t>(bit / 8), size) << offset << " at " << p;
        ASSERT_EQ((bytes[bit / 8] >> (bit % 8) & 1) != 0, text[p] == 'c') << offset << " at " << p;
        highest = std::max(highest, bit);
        set += text[p] == 'c' ? 1 : 0;
      }
    }
    EXPECT_GT(set, 0) << offset;
    EXPECT_EQ(highest > INT_MAX, geometry.stride == 4000) << offset;
    for (const int skip : {1, 2, 3}) {
      const int x = kLast - 1 - (offset > 0 ? offset * skip : 0);
      EXPECT_EQ(geometry.origin(x) + skip, geometry.origin(x + offset * skip)) << offset;
    }
    munmap(bytes, size);
  }
}

}  // namespace
