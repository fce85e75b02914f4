// The letter index of one joined scan: the anchor letter of the search
// string and where it stands in the text, and how the other letters are
// tested: paired with the anchors by distance, or many skips at a time
// through bit maps (masks), the rest checked byte by byte.
#ifndef SRC_SEARCH_LETTER_INDEX_H_
#define SRC_SEARCH_LETTER_INDEX_H_

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "search/mask_steps.h"
#include "search/scan_job.h"
#include "search/scan_team.h"
#include "search/scan_tuning.h"
#include "util/interrupt.h"

// Calls visit(run_from, run_to) for the runs of per_poll positions (1 or
// more; the last run fewer) that make up [from, to), in order, polling
// before each. Returns false when a Ctrl-C cut the pass short. Safe for any
// 0 <= from <= to <= INT_MAX: no sum passes `to`.
template <typename Visit>
bool forEachRun(int from, int to, int per_poll, Visit visit) {
  while (from < to) {
    if (scanStopRequested()) return false;
    const int stop = from + std::min(to - from, per_poll);
    visit(from, stop);
    from = stop;
  }
  return true;
}

// Division of a position (0 to INT_MAX) by a fixed divisor from 1 to 4096,
// as a multiplication and a shift (exact for every such dividend). The
// multiplier, the quotient of 2^shift by the divisor rounded up, is below
// 2^32 since the dividends have 31 bits: one 32 x 32-bit product.
class Divider {
 public:
  explicit Divider(int divisor = 1)
      : shift_(31 + static_cast<unsigned>(std::bit_width(static_cast<unsigned>(divisor - 1)))),
        multiplier_(static_cast<std::uint32_t>(
            ((std::uint64_t{1} << shift_) + static_cast<unsigned>(divisor) - 1) /
            static_cast<unsigned>(divisor))) {}

  int quotient(int x) const {
    return static_cast<int>((std::uint64_t{static_cast<std::uint32_t>(x)} * multiplier_) >> shift_);
  }

 private:
  unsigned shift_;
  std::uint32_t multiplier_;
};

// A letter of the search string that a candidate must also show: it stands
// offset x skip bytes after the anchor (before it when the offset is
// negative).
struct Check {
  int offset;
  unsigned char letter;
};

// A letter tested many skips at a time. Its positions are split by residue
// modulo the stride |offset| into classes, and the text into tiles of 64
// positions of every class (64 x stride positions each). Class r takes the
// class_bits bits from r x class_bits on, one per position of the class in
// the order in which a growing skip meets them (ascending positions for a
// positive offset, descending for a negative one), then zero bits where the
// text has ended; so a tile gives each class one whole word of its bits.
// For anchor x, the bit at origin(x) + skip tells whether the letter stands
// at x + offset x skip. Bit indexes pass 2^31 on the longest texts: they
// are long long throughout. The geometry is apart from the bytes, so that
// a loop can keep a copy of it in registers.
struct MapGeometry {
  int offset = 1;
  int stride = 1;
  Divider by_stride;
  long long tiles = 0;       // the text's length over 64 x stride, rounded up
  long long class_bits = 0;  // 64 x tiles

  // Where a tile begins in the text, and how many of its positions the
  // text holds (64 x stride, fewer in the last tile).
  long long tileStart(long long tile) const { return 64LL * stride * tile; }
  int tileLength(long long tile, int text_len) const {
    return static_cast<int>(std::min<long long>(64LL * stride, text_len - tileStart(tile)));
  }

  // The word (the 8 bytes from 8 x the result on) that holds the bits of
  // class r within tile.
  long long wordIndex(int r, long long tile) const {
    return r * tiles + (offset > 0 ? tile : tiles - 1 - tile);
  }

  long long origin(int x) const {
    const int index = by_stride.quotient(x);
    const long long base = (x - index * stride) * class_bits;
    return offset > 0 ? base + index : base + class_bits - 1 - index;
  }
};

// Gives back a block of allocateLargeBlock.
struct FreeLargeBlock {
  void operator()(unsigned char* block) const { std::free(block); }
};

struct MaskLetter : MapGeometry {
  // Bit b is bit b % 8 of byte b / 8: stride x tiles words, then room for
  // the last step's loads (kMaskPadding bytes, zero). Kept from scan to
  // scan, and never zeroed as a whole: the fill writes every word. A large
  // block, advised as huge pages: its first writes would otherwise take a
  // page fault every 4 KB, as much as the rest of the fill on a long text.
  std::unique_ptr<unsigned char[], FreeLargeBlock> bytes;
  std::size_t capacity = 0;  // bytes held

  // Sets the map up for a text of text_len (1 or more) bytes, keeping the
  // bytes it holds when they are enough.
  void setUp(int map_offset, int text_len);
};

// The geometry of the map of a letter offset (not 0) letters from the
// anchor, over a text of text_len (1 or more) bytes.
MapGeometry mapGeometry(int offset, int text_len);

// Writes the words of one tile of the map of letter over text (text_len
// bytes) into map_bytes, the map's stride x tiles words; words is room for
// stride words, the tile's on their way.
void fillMapTile(const unsigned char* text, int text_len, const MapGeometry& map,
                 unsigned char letter, long long tile, std::uint64_t* words,
                 unsigned char* map_bytes);

// Letters tested through bit maps; each map takes one bit per text byte.
inline constexpr std::size_t kMaxMaskLetters = 4;

using ByteCounts = std::array<long long, 256>;

// Planned by the scan's calling thread (planLetterIndex), then built by the
// scan's team before any block is joined (buildLetterIndex), and read-only
// while blocks are joined, but for cursors. Kept from one scan to the next
// (a search run scans the text and then its mirror, which need buffers of
// the same sizes), so its large vectors are allocated once.
struct LetterIndex {
  const unsigned char* text = nullptr;
  // kPairs or kMasks, never kCheapest; set by planLetterIndex.
  JoinMethod method = JoinMethod::kMasks;
  // The width of the masks' steps; set by the scan before it plans.
  MaskWidth mask_width = MaskWidth::kPortable;
  // Per byte value, its count in the text. Each member of the planning team
  // counts a run of the text into counts of its own, which the calling
  // thread adds up.
  ByteCounts letter_counts{};
  std::vector<int> by_rarity;  // the string's letter indexes, rarest first
  int anchor_index = 0;        // index in the string of the anchor letter
  // The anchor letter's positions (0-based), ascending. By pairs, one
  // member collects them all; by masks, each member fills the slots of the
  // anchors in its own run of the text, one run following another.
  std::vector<int> anchors;
  // Letters tested byte by byte, rarest first, after the maps or the
  // screen; set by the calling thread.
  std::vector<Check> checks;

  // Sizes that the scan's tuning sets (FastScanTuning).
  int pairs_per_batch = kMaxPairsPerBatch;
  int positions_per_poll = kPositionsPerPoll;

  // Pairs: the partner letter stands spacing letters after the anchor.
  // The screen is tested on every pair of a batch, without a branch, before
  // the checks: the rarest letter but the anchor and the partner, or, in a
  // string without another, the anchor's own, which every pair passes.
  Check screen = {0, 0};
  int spacing = 1;
  int shift = 0;  // log2(spacing) when a power of two, else -1
  Divider by_spacing;
  // The partner letter's positions y, split by y mod spacing: per residue
  // class the quotients y / spacing, ascending, closed by INT_MAX, so that
  // anchor x pairs with its class's quotients q at skip q - x / spacing.
  // Written by one member while the anchors are collected by another.
  std::vector<int> partners;
  std::vector<int> class_start;  // per residue class, its first entry
  // Per anchor: index in partners of its first partner not yet paired.
  // While blocks are joined, each joining thread reads and writes only the
  // entries of the anchors it was given.
  std::vector<int> cursors;

  // Masks: the letters that bit maps test. Each member fills the tiles of
  // every map in its own run of the text, so every word has one writer.
  std::vector<MaskLetter> masks;

  // x = quotient x spacing + residue.
  void split(int x, int* quotient, int* residue) const {
    *quotient = shift >= 0 ? x >> shift : by_spacing.quotient(x);
    *residue = x - *quotient * spacing;
  }
};

// Counts the letters of job's text, the members of team sharing the text,
// ranks the string's letters by rarity, chooses the join method by the
// letter counts unless method forces one, and sets *estimated_work to the
// estimated work of the whole scan over the skips 1 to last_skip, in units
// of one screened pair. Polls as it reads the text; returns false when a
// Ctrl-C cut it short.
// REQUIRES: last_skip >= 1.
bool planLetterIndex(const ScanJob& job, int last_skip, JoinMethod method, ScanTeam* team,
                     LetterIndex* index, double* estimated_work);

// Builds the index that planLetterIndex planned, the members of team
// sharing the passes over the text. Polls as it reads the text; returns
// false when a Ctrl-C cut it short.
bool buildLetterIndex(const ScanJob& job, ScanTeam* team, LetterIndex* index);

#endif  // SRC_SEARCH_LETTER_INDEX_H_
