#include "search/fast_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/main_info.h"
#include "search/hits.h"
#include "util/interrupt.h"
#include "util/semaphore.h"

FastScanTuning fastScanTuning = {JoinMethod::kCheapest, 1 << 13, 1LL << 24, 1LL << 22};

namespace {

// Pairs screened by their first check before the survivors get the others.
constexpr int kPairsPerBatch = 256;
// Letters tested through bit maps; each map takes one bit per text byte.
constexpr std::size_t kMaxMaskLetters = 4;
// Skips tested per step of the masks.
constexpr int kSkipsPerStep = 56;
// Costs in units of one screened pair, measured on an English text: a step
// of the masks, setting an anchor up for a block of masks, and a hit.
constexpr long long kStepWork = 2;
constexpr long long kAnchorWork = 8;
constexpr long long kHitWork = 8;
// Positions a pass over the text reads between two polls (about 0.1 ms).
constexpr int kPositionsPerPoll = 1 << 16;
// Nodes that a thread takes at once for its hits.
constexpr int kNodesPerRun = 4096;

using ByteCounts = std::array<long long, 256>;

// Calls visit(pos) for every position of a text, polling between runs of
// kPositionsPerPoll. Returns false when a Ctrl-C cut the pass short.
template <typename Visit>
bool forEachPosition(int text_len, Visit visit) {
  for (int from = 0; from < text_len; from += kPositionsPerPoll) {
    if (scanStopRequested()) return false;
    const int to = std::min(text_len - from, kPositionsPerPoll) + from;
    for (int pos = from; pos < to; ++pos) visit(pos);
  }
  return true;
}

// Division of a position (0 to INT_MAX) by a fixed divisor from 1 to 2^16,
// as a multiplication and a shift (exact for every 32-bit dividend).
class Divider {
 public:
  explicit Divider(int divisor = 1)
      : shift_(32 + static_cast<unsigned>(std::bit_width(static_cast<unsigned>(divisor - 1)))),
        multiplier_(((std::uint64_t{1} << shift_) + static_cast<unsigned>(divisor) - 1) /
                    static_cast<unsigned>(divisor)) {}

  int quotient(int x) const {
    return static_cast<int>((static_cast<std::uint64_t>(x) * multiplier_) >> shift_);
  }

 private:
  unsigned shift_;
  std::uint64_t multiplier_;
};

// A letter of the search string that a candidate must also show: it stands
// offset x skip bytes after the anchor (before it when the offset is
// negative).
struct Check {
  int offset;
  unsigned char letter;
};

// A letter tested many skips at a time. Its positions are split by residue
// modulo the stride |offset|; each class gets a run of bits, one per
// position of the class, in the order in which a growing skip meets them
// (descending positions for a negative offset). For anchor x, the bit at
// origin(x) + skip tells whether the letter stands at x + offset x skip.
struct MaskLetter {
  int offset;
  int stride;
  Divider by_stride;
  std::vector<int> class_base;       // per class, the bit of its first position
  std::vector<int> class_size;       // per class, its number of positions
  std::vector<unsigned char> bytes;  // bit b is bit b % 8 of byte b / 8

  // Marks the letter as standing at pos.
  void set(int pos) {
    const int index = by_stride.quotient(pos);
    const auto r = static_cast<std::size_t>(pos - index * stride);
    const int bit = class_base[r] + (offset > 0 ? index : class_size[r] - 1 - index);
    bytes[static_cast<std::size_t>(bit / 8)] |= static_cast<unsigned char>(1 << (bit % 8));
  }

  long long origin(int x) const {
    const int index = by_stride.quotient(x);
    const auto r = static_cast<std::size_t>(x - index * stride);
    if (offset > 0) return class_base[r] + index;
    return class_base[r] + class_size[r] - 1 - index;
  }
};

// The 8 bytes from p on, the first in the lowest bits.
std::uint64_t loadBytes(const unsigned char* p) {
  std::uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);
  } else {
    for (int k = 7; k >= 0; --k) value = value << 8 | p[k];
  }
  return value;
}

// A run of skips joined at once, [first, end).
struct Block {
  int first;
  int end;
  int anchor_lo;  // anchors[anchor_lo, anchor_hi) have a start that fits at
  int anchor_hi;  // the block's first skip
  int full_lo;    // anchors from full_lo to full_hi (positions, inclusive)
  int full_hi;    // fit at every skip of the block
};

// What one thread found in a block: per skip a chain of hit nodes, in
// ascending order of start, since the thread takes its anchors in order.
// The two threads take the lower and the upper anchors, so a skip's hits
// are the first thread's chain followed by the second's.
struct Part {
  std::vector<Hit*> first;  // per skip of the block, its first node or null
  std::vector<Hit*> last;   // per skip of the block, its last node
  Hit* spare = nullptr;     // unused nodes of the thread's current run
  Hit* spare_end = nullptr;
  long long work = 0;       // in units of one screened pair
  bool stopped = false;     // interrupted was seen and the block dropped
};

// The large buffers of a scan. A search run scans the text and then its
// mirror, which need buffers of the same sizes: kept from one scan for the
// next, they are allocated once, instead of the first scan's lying freed
// under the second one's hit nodes, still taking memory.
struct Buffers {
  std::vector<int> anchors;
  std::vector<int> partners;
  std::vector<int> cursors;
  std::array<std::vector<unsigned char>, kMaxMaskLetters> mask_bytes;
  std::array<std::vector<Hit*>, 2> first;
  std::array<std::vector<Hit*>, 2> last;
};

Buffers& keptBuffers() {
  static Buffers buffers;
  return buffers;
}

bool countBytes(const ScanJob& job, ByteCounts* counts) {
  const auto* text = reinterpret_cast<const unsigned char*>(job.text);
  return forEachPosition(job.text_len, [&](int pos) { ++(*counts)[text[pos]]; });
}

bool isPowerOfTwo(int value) { return (value & (value - 1)) == 0; }

class JoinScan {
 public:
  explicit JoinScan(const ScanJob& job);
  ~JoinScan();
  JoinScan(const JoinScan&) = delete;
  JoinScan& operator=(const JoinScan&) = delete;

  void run(Hit* head);

 private:
  unsigned char letter(int index) const { return pattern_[index]; }
  bool setUpPairs(const std::vector<int>& by_rarity);
  bool setUpMasks(const std::vector<int>& by_rarity);
  void addChecks(const std::vector<int>& indexes);
  bool collectAnchors();
  bool buildPartners(int partner_index);
  void startCursors();
  MaskLetter emptyMask(int index);
  bool fillAnchorsAndMasks();

  void setBlock(int first, int end);
  int lastSkip(int x) const;
  void runBlock();
  void helperLoop();
  void joinPart(int part_no, int anchor_lo, int anchor_hi);
  void joinPairs(int anchor, Part* part, int* batch);
  void joinMasks(int anchor, Part* part);
  template <std::size_t... kMaps>
  long long sweepMasks(int x, int last, Part* part, std::index_sequence<kMaps...>);
  void confirm(int x, int skip, std::size_t first_check, Part* part);
  bool appendBlock(Hit** tail, bool* found) const;
  int nextBlockSize(int size) const;

  // x = quotient x spacing_ + residue.
  void split(int x, int* quotient, int* residue) const {
    *quotient = shift_ >= 0 ? x >> shift_ : by_spacing_.quotient(x);
    *residue = x - *quotient * spacing_;
  }

  Buffers buffers_;  // taken from keptBuffers() and given back at the end
  const ScanJob& job_;
  const unsigned char* text_;
  const unsigned char* pattern_;
  int last_skip_;  // highest skip with a start position, within max_skip
  bool pairs_ = false;
  int anchor_index_ = 0;      // index in the string of the anchor letter
  std::vector<int>& anchors_ = buffers_.anchors;  // its positions, ascending
  std::vector<Check> checks_;  // letters tested byte by byte, rarest first

  // Pairs: the partner letter stands spacing_ letters after the anchor.
  int spacing_ = 1;
  int shift_ = 0;  // log2(spacing_) when a power of two, else -1
  Divider by_spacing_;
  // The partner letter's positions y, split by y mod spacing_: per residue
  // class the quotients y / spacing_, ascending, closed by INT_MAX, so that
  // anchor x pairs with its class's quotients q at skip q - x / spacing_.
  std::vector<int>& partners_ = buffers_.partners;
  std::vector<int> class_start_;  // per residue class, its first entry
  // Per anchor: index in partners_ of its first partner not yet paired.
  std::vector<int>& cursors_ = buffers_.cursors;

  // Masks: the letters that bit maps test.
  std::vector<MaskLetter> masks_;

  Block block_ = {};  // the block being joined
  int split_ = 0;     // the first anchor of the second thread's part
  Part parts_[2];
  int part_count_ = 1;
  bool quit_ = false;
  BinarySemaphore go_;
  BinarySemaphore done_;
  std::thread helper_;
};

JoinScan::JoinScan(const ScanJob& job)
    : buffers_(std::move(keptBuffers())),
      job_(job),
      text_(reinterpret_cast<const unsigned char*>(job.text)),
      pattern_(reinterpret_cast<const unsigned char*>(job.pattern)),
      last_skip_(std::min(job.max_skip, job.lastFittingSkip())) {
  anchors_.clear();
  for (int p = 0; p < 2; ++p) {
    parts_[p].first = std::move(buffers_.first[static_cast<std::size_t>(p)]);
    parts_[p].last = std::move(buffers_.last[static_cast<std::size_t>(p)]);
  }
  // The set-up polls too; after a Ctrl-C it stops, and so does run() at its
  // first poll.
  if (last_skip_ < 1) return;
  ByteCounts counts{};
  if (!countBytes(job, &counts)) return;
  std::vector<int> by_rarity(static_cast<std::size_t>(job.pattern_len));
  for (int k = 0; k < job.pattern_len; ++k) by_rarity[static_cast<std::size_t>(k)] = k;
  std::sort(by_rarity.begin(), by_rarity.end(), [&](int a, int b) {
    return counts[letter(a)] != counts[letter(b)] ? counts[letter(a)] < counts[letter(b)] : a < b;
  });
  // The start positions that the plain loop tries, times the chance that a
  // start shows the rarest letter (and the second rarest) where they belong.
  const double text_len = job.text_len;
  const double skips = last_skip_;
  const double starts = skips * text_len - (job.pattern_len - 1) * skips * (skips + 1) / 2;
  const double rarest = static_cast<double>(counts[letter(by_rarity[0])]) / text_len;
  const double second = static_cast<double>(counts[letter(by_rarity[1])]) / text_len;
  const double pair_work = starts * rarest * second;
  const double mask_work = starts * rarest / kSkipsPerStep * kStepWork;
  pairs_ = fastScanTuning.method == JoinMethod::kPairs ||
           (fastScanTuning.method == JoinMethod::kCheapest && pair_work < mask_work);
  if (!(pairs_ ? setUpPairs(by_rarity) : setUpMasks(by_rarity))) return;
  if (std::min(pair_work, mask_work) >= static_cast<double>(fastScanTuning.parallel_work)) {
    // Without a second thread the scan runs whole on this one.
    try {
      helper_ = std::thread([this] { helperLoop(); });
      part_count_ = 2;
    } catch (const std::system_error&) {
      part_count_ = 1;
    }
  }
}

JoinScan::~JoinScan() {
  if (helper_.joinable()) {
    quit_ = true;
    go_.release();
    helper_.join();
  }
  for (std::size_t m = 0; m < masks_.size(); ++m) buffers_.mask_bytes[m] = std::move(masks_[m].bytes);
  for (int p = 0; p < 2; ++p) {
    buffers_.first[static_cast<std::size_t>(p)] = std::move(parts_[p].first);
    buffers_.last[static_cast<std::size_t>(p)] = std::move(parts_[p].last);
  }
  keptBuffers() = std::move(buffers_);
}

// Every pair costs the same whatever the letters' distance in the string,
// since a start that fits bounds the skip either way; so the two rarest
// letters make the fewest pairs. Among equally rare partners a power-of-two
// spacing is the cheapest to split by. The anchor is the earlier letter.
bool JoinScan::setUpPairs(const std::vector<int>& by_rarity) {
  const int rarest = by_rarity[0];
  int partner = by_rarity[1];
  for (std::size_t k = 2; k < by_rarity.size(); ++k) {
    const int other = by_rarity[k];
    if (letter(other) != letter(partner)) break;
    const int distance = std::abs(other - rarest);
    const int best = std::abs(partner - rarest);
    if (isPowerOfTwo(distance) != isPowerOfTwo(best) ? isPowerOfTwo(distance) : distance < best) {
      partner = other;
    }
  }
  anchor_index_ = std::min(rarest, partner);
  spacing_ = std::abs(partner - rarest);
  shift_ = isPowerOfTwo(spacing_) ? std::countr_zero(static_cast<unsigned>(spacing_)) : -1;
  by_spacing_ = Divider(spacing_);
  std::vector<int> others;
  for (int k : by_rarity) {
    if (k != rarest && k != partner) others.push_back(k);
  }
  addChecks(others);
  // The first check screens every pair; with no other letter, the anchor
  // itself does, which every pair passes.
  if (checks_.empty()) checks_.push_back({0, letter(anchor_index_)});
  if (!collectAnchors() || !buildPartners(anchor_index_ + spacing_)) return false;
  startCursors();
  return true;
}

bool JoinScan::setUpMasks(const std::vector<int>& by_rarity) {
  anchor_index_ = by_rarity[0];
  const std::size_t masked = std::min(kMaxMaskLetters, by_rarity.size() - 1);
  for (std::size_t k = 1; k <= masked; ++k) masks_.push_back(emptyMask(by_rarity[k]));
  addChecks(std::vector<int>(by_rarity.begin() + static_cast<long>(masked) + 1, by_rarity.end()));
  return fillAnchorsAndMasks();
}

void JoinScan::addChecks(const std::vector<int>& indexes) {
  for (int k : indexes) checks_.push_back({k - anchor_index_, letter(k)});
}

bool JoinScan::collectAnchors() {
  const unsigned char anchor_letter = letter(anchor_index_);
  return forEachPosition(job_.text_len, [&](int pos) {
    if (text_[pos] == anchor_letter) anchors_.push_back(pos);
  });
}

bool JoinScan::buildPartners(int partner_index) {
  const unsigned char partner_letter = letter(partner_index);
  std::vector<int> class_size(static_cast<std::size_t>(spacing_), 0);
  int quotient = 0;
  int residue = 0;
  const bool counted = forEachPosition(job_.text_len, [&](int pos) {
    if (text_[pos] != partner_letter) return;
    split(pos, &quotient, &residue);
    ++class_size[static_cast<std::size_t>(residue)];
  });
  if (!counted) return false;
  // Each class is closed by a sentinel above every quotient.
  class_start_.assign(static_cast<std::size_t>(spacing_), 0);
  int total = 0;
  for (std::size_t r = 0; r < class_size.size(); ++r) {
    class_start_[r] = total;
    total += class_size[r] + 1;
  }
  partners_.assign(static_cast<std::size_t>(total), INT_MAX);
  std::vector<int> fill = class_start_;
  return forEachPosition(job_.text_len, [&](int pos) {
    if (text_[pos] != partner_letter) return;
    split(pos, &quotient, &residue);
    partners_[static_cast<std::size_t>(fill[static_cast<std::size_t>(residue)]++)] = quotient;
  });
}

// Points every anchor at the first partner of its class that lies after it.
void JoinScan::startCursors() {
  std::vector<int> next = class_start_;
  cursors_.resize(anchors_.size());
  for (std::size_t a = 0; a < anchors_.size(); ++a) {
    int quotient = 0;
    int residue = 0;
    split(anchors_[a], &quotient, &residue);
    int& cursor = next[static_cast<std::size_t>(residue)];
    while (partners_[static_cast<std::size_t>(cursor)] <= quotient) ++cursor;
    cursors_[a] = cursor;
  }
}

MaskLetter JoinScan::emptyMask(int index) {
  MaskLetter mask;
  mask.offset = index - anchor_index_;
  mask.stride = std::abs(mask.offset);
  mask.by_stride = Divider(mask.stride);
  int total = 0;
  for (int r = 0; r < mask.stride; ++r) {
    mask.class_base.push_back(total);
    mask.class_size.push_back((job_.text_len - r + mask.stride - 1) / mask.stride);
    total += mask.class_size.back();
  }
  // Room for the last 8-byte load.
  mask.bytes = std::move(buffers_.mask_bytes[masks_.size()]);
  mask.bytes.assign(static_cast<std::size_t>(total / 8 + 9), 0);
  return mask;
}

// One pass over the text for the anchors and all the maps.
bool JoinScan::fillAnchorsAndMasks() {
  constexpr unsigned kAnchorBit = 1u << kMaxMaskLetters;
  std::array<unsigned, 256> wanted{};  // bit m: map m's letter; kAnchorBit
  wanted[letter(anchor_index_)] |= kAnchorBit;
  for (std::size_t m = 0; m < masks_.size(); ++m) {
    wanted[letter(anchor_index_ + masks_[m].offset)] |= 1u << m;
  }
  return forEachPosition(job_.text_len, [&](int pos) {
    const unsigned bits = wanted[text_[pos]];
    if (bits == 0) return;
    if ((bits & kAnchorBit) != 0) anchors_.push_back(pos);
    for (std::size_t m = 0; m < masks_.size(); ++m) {
      if ((bits >> m & 1) != 0) masks_[m].set(pos);
    }
  });
}

// An anchor x stands at start + anchor_index_ x skip, and a start fits when
// it is at least 0 and start + (pattern_len - 1) x skip is within the text.
void JoinScan::setBlock(int first, int end) {
  const int after = job_.pattern_len - 1 - anchor_index_;
  const int lowest = anchor_index_ * first;
  const int highest = job_.text_len - 1 - after * first;
  block_.first = first;
  block_.end = end;
  block_.anchor_lo = static_cast<int>(
      std::lower_bound(anchors_.begin(), anchors_.end(), lowest) - anchors_.begin());
  block_.anchor_hi = static_cast<int>(
      std::upper_bound(anchors_.begin(), anchors_.end(), highest) - anchors_.begin());
  block_.full_lo = anchor_index_ * (end - 1);
  block_.full_hi = job_.text_len - 1 - after * (end - 1);
}

// The highest skip of the block at which anchor x has a start that fits.
int JoinScan::lastSkip(int x) const {
  int last = block_.end - 1;
  if (x < block_.full_lo) last = x / anchor_index_;
  if (x > block_.full_hi) {
    last = std::min(last, (job_.text_len - 1 - x) / (job_.pattern_len - 1 - anchor_index_));
  }
  return last;
}

// The threads take the two halves of the block's anchors. Near the ends of
// the text some anchors fit at fewer skips, but they are few beside the rest
// until the last blocks.
void JoinScan::runBlock() {
  if (part_count_ == 1) {
    joinPart(0, block_.anchor_lo, block_.anchor_hi);
    return;
  }
  split_ = block_.anchor_lo + (block_.anchor_hi - block_.anchor_lo) / 2;
  go_.release();
  joinPart(0, block_.anchor_lo, split_);
  done_.acquire();
}

void JoinScan::helperLoop() {
  for (;;) {
    go_.acquire();
    if (quit_) return;
    joinPart(1, split_, block_.anchor_hi);
    done_.release();
  }
}

void JoinScan::joinPart(int part_no, int anchor_lo, int anchor_hi) {
  Part* part = &parts_[part_no];
  const auto skips = static_cast<std::size_t>(block_.end - block_.first);
  part->first.assign(skips, nullptr);
  part->last.assign(skips, nullptr);
  part->work = 0;
  part->stopped = false;
  int batch[kPairsPerBatch];
  for (int anchor = anchor_lo; anchor < anchor_hi; ++anchor) {
    if (scanStopRequested()) {
      part->stopped = true;
      return;
    }
    if (pairs_) {
      joinPairs(anchor, part, batch);
    } else {
      joinMasks(anchor, part);
    }
  }
}

// Pairs one anchor with every partner of its class at a skip of the block
// at which the start fits. The first check is done on every pair without a
// branch, keeping the survivors for the other checks.
void JoinScan::joinPairs(int anchor, Part* part, int* batch) {
  const int x = anchors_[static_cast<std::size_t>(anchor)];
  const int last = lastSkip(x);
  if (last < block_.first) return;
  int quotient = 0;
  int residue = 0;
  split(x, &quotient, &residue);
  const int* q = partners_.data();
  int& cursor = cursors_[static_cast<std::size_t>(anchor)];
  const int limit = quotient + last;
  const unsigned char* at = text_ + x;
  const Check screen = checks_[0];
  int next = cursor;
  for (;;) {
    const int batch_end = next + kPairsPerBatch;
    int kept = 0;
    while (next < batch_end && q[next] <= limit) {
      const int skip = q[next] - quotient;
      batch[kept] = skip;
      kept += at[screen.offset * skip] == screen.letter ? 1 : 0;
      ++next;
    }
    for (int k = 0; k < kept; ++k) confirm(x, batch[k], 1, part);
    if (next < batch_end) break;
  }
  part->work += next - cursor;
  cursor = next;
}

// Tests one anchor against the masks, kSkipsPerStep skips at a time.
void JoinScan::joinMasks(int anchor, Part* part) {
  const int x = anchors_[static_cast<std::size_t>(anchor)];
  const int last = lastSkip(x);
  if (last < block_.first) return;
  long long steps = 0;
  switch (masks_.size()) {
    case 1: steps = sweepMasks(x, last, part, std::make_index_sequence<1>()); break;
    case 2: steps = sweepMasks(x, last, part, std::make_index_sequence<2>()); break;
    case 3: steps = sweepMasks(x, last, part, std::make_index_sequence<3>()); break;
    default: steps = sweepMasks(x, last, part, std::make_index_sequence<4>()); break;
  }
  part->work += steps * kStepWork + kAnchorWork;
}

// The bits of one anchor's skips lie at a fixed bit offset within the bytes
// of each map, so every step is one unaligned load and one shift per map:
// 8 bytes shifted by at most 7 leave 57 good bits, of which 56 (7 whole
// bytes) are used. All maps are ANDed: a branch per map would be
// mispredicted about as often as it saves a load. The maps are unrolled by
// their index, so that the pointers stay in registers.
template <std::size_t... kMaps>
long long JoinScan::sweepMasks(int x, int last, Part* part, std::index_sequence<kMaps...>) {
  std::array<const unsigned char*, sizeof...(kMaps)> at;
  std::array<unsigned, sizeof...(kMaps)> shift;
  for (std::size_t m = 0; m < at.size(); ++m) {
    const long long bit = masks_[m].origin(x) + block_.first;
    at[m] = masks_[m].bytes.data() + (bit >> 3);
    shift[m] = static_cast<unsigned>(bit & 7);
  }
  constexpr std::uint64_t kWholeStep = (std::uint64_t{1} << kSkipsPerStep) - 1;
  long long steps = 0;
  for (int base = block_.first;; base += kSkipsPerStep) {
    ++steps;
    const int left = last - base;
    std::uint64_t mask = left >= kSkipsPerStep - 1 ? kWholeStep : (std::uint64_t{2} << left) - 1;
    mask = (mask & ... & (loadBytes(at[kMaps]) >> shift[kMaps]));
    ((at[kMaps] += kSkipsPerStep / 8), ...);
    while (mask != 0) {
      confirm(x, base + std::countr_zero(mask), 0, part);
      mask &= mask - 1;
    }
    if (left < kSkipsPerStep) return steps;
  }
}

// Tests the remaining letters and chains the hit to its skip's.
void JoinScan::confirm(int x, int skip, std::size_t first_check, Part* part) {
  const unsigned char* at = text_ + x;
  for (std::size_t k = first_check; k < checks_.size(); ++k) {
    if (at[checks_[k].offset * skip] != checks_[k].letter) return;
  }
  if (part->spare == part->spare_end) {
    part->spare = newHitRun(kNodesPerRun);
    part->spare_end = part->spare + kNodesPerRun;
  }
  Hit* node = part->spare++;
  node->skip = skip;
  node->pos = x - anchor_index_ * skip + 1;
  node->next = nullptr;
  const auto k = static_cast<std::size_t>(skip - block_.first);
  if (part->last[k] == nullptr) {
    part->first[k] = node;
  } else {
    part->last[k]->next = node;
  }
  part->last[k] = node;
  part->work += kHitWork;
}

// Links the block's chains behind the list skip by skip, with the marks
// that fall inside the block. While the list is empty the head takes the
// first hit itself, as appendHit does. Like the plain loop, polls right
// after every mark: returns false when the scan is to stop there, with the
// hits of the skips before the mark's in the list.
bool JoinScan::appendBlock(Hit** tail, bool* found) const {
  for (int skip = block_.first; skip < block_.end; ++skip) {
    if (skip > block_.first && job_.markDue(skip)) {
      writeProgressMark(*found);
      *found = false;
      if (scanStopRequested()) return false;
    }
    const auto k = static_cast<std::size_t>(skip - block_.first);
    for (int p = 0; p < part_count_; ++p) {
      Hit* first = parts_[p].first[k];
      if (first == nullptr) continue;
      Hit* last = parts_[p].last[k];
      if ((*tail)->skip == -1) {
        **tail = *first;
        if (first != last) *tail = last;
      } else {
        (*tail)->next = first;
        *tail = last;
      }
      *found = true;
    }
  }
  return true;
}

// Grows the blocks while they are cheap and shrinks them where the work is
// dense, so that each takes a few milliseconds.
int JoinScan::nextBlockSize(int size) const {
  long long work = parts_[0].work;
  if (part_count_ == 2) work += parts_[1].work;
  long long next = 8LL * size;
  if (work > 0) next = std::min(next, fastScanTuning.block_work * size / work);
  next = std::min<long long>(next, fastScanTuning.max_block_skips);
  return static_cast<int>(std::max(next, 1LL));
}

void JoinScan::run(Hit* head) {
  Hit* tail = head;
  bool found = false;
  int size = 1;
  for (int skip = 1; skip <= job_.max_skip;) {
    if (job_.markDue(skip)) {
      writeProgressMark(found);
      found = false;
    }
    // The plain loop polls nothing at a skip without start positions.
    if (skip > last_skip_ || scanStopRequested()) break;
    setBlock(skip, skip + std::min(size, last_skip_ + 1 - skip));
    runBlock();
    if (parts_[0].stopped || parts_[1].stopped || !appendBlock(&tail, &found)) break;
    size = nextBlockSize(size);
    skip = block_.end;
  }
}

}  // namespace

void fastScan(const ScanJob& job, Hit* head) {
  JoinScan scan(job);
  scan.run(head);
}
