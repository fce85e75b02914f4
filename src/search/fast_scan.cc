#include "search/fast_scan.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <semaphore>
#include <thread>
#include <vector>

#include "driver/main_info.h"
#include "search/hits.h"

FastScanTuning fastScanTuning = {1 << 16, 1LL << 23, 1 << 15, 1LL << 22};
void (*fastScanPollHook)() = nullptr;

namespace {

// The two threads take alternate chunks of anchors, so that both get their
// share of the short pairings near the ends of the text.
constexpr int kAnchorsPerChunk = 256;
// Pairs screened by their first check before the survivors get the others.
constexpr int kPairsPerBatch = 256;

bool stopRequested() {
  if (fastScanPollHook != nullptr) fastScanPollHook();
  return interrupted != 0;
}

// A letter of the search string that a pair of anchor and partner must also
// show: it stands offset x skip bytes after the anchor (before it when the
// offset is negative).
struct Check {
  int offset;
  unsigned char letter;
};

// A hit as a block finds it: the skip and the 0-based start.
struct Found {
  int skip;
  int start;
};

// A run of skips joined at once, [first, end).
struct Block {
  int first;
  int end;
  int anchor_lo;  // anchors[anchor_lo, anchor_hi) have a start that fits at
  int anchor_hi;  // the block's first skip
  int full_lo;    // anchors from full_lo to full_hi (positions, inclusive)
  int full_hi;    // fit at every skip of the block
};

// What one thread found in a block.
struct Part {
  std::vector<Found> raw;        // in anchor order
  std::vector<Found> sorted;     // by skip, then start
  std::vector<int> skip_start;   // per skip of the block, its first entry in
                                 // sorted; one more entry closes the last
  std::vector<int> fill;
  long long pairs = 0;           // pairs screened
  bool stopped = false;          // interrupted was seen and the block dropped
};

// Byte counts of the text, to find the rarest letters of the string.
std::array<long long, 256> countBytes(const ScanJob& job) {
  std::array<long long, 256> counts{};
  const auto* text = reinterpret_cast<const unsigned char*>(job.text);
  for (int pos = 0; pos < job.text_len; ++pos) ++counts[text[pos]];
  return counts;
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
  void choosePair(const std::array<long long, 256>& counts);
  void buildChecks(const std::array<long long, 256>& counts);
  void buildIndex();
  void startCursors();
  long long estimatedPairs(const std::array<long long, 256>& counts) const;

  Block makeBlock(int first, int end) const;
  void runBlock(const Block& block);
  void joinPart(const Block& block, int part_no, int parts);
  void joinAnchor(int anchor, const Block& block, Part* part, int* batch);
  void confirm(int x, int skip, Part* part) const;
  void sortPart(const Block& block, Part* part) const;
  void appendBlock(const Block& block, Hit** tail, bool* found) const;
  int nextBlockSize(int size) const;
  void helperLoop();

  // x = quotient x spacing + residue.
  void split(int x, int* quotient, int* residue) const {
    if (shift_ >= 0) {
      *quotient = x >> shift_;
      *residue = x & (spacing_ - 1);
    } else {
      *quotient = x / spacing_;
      *residue = x - *quotient * spacing_;
    }
  }

  const ScanJob& job_;
  const unsigned char* text_;
  int last_skip_;        // highest skip with a start position, within max_skip
  int anchor_index_ = 0;  // the pair: letters anchor_index_ and
  int spacing_ = 1;       // anchor_index_ + spacing_ of the string
  int shift_ = 0;         // log2(spacing_) when a power of two, else -1
  std::vector<int> anchors_;      // positions of the anchor letter, ascending
  std::vector<int> cursors_;      // per anchor: index in partners_ of its
                                  // first partner not yet paired
  // The partner letter's positions y, split by y mod spacing_: per residue
  // class the quotients y / spacing_, ascending, closed by INT_MAX, so that
  // an anchor x pairs with its class's quotients q at skip q - x / spacing_.
  std::vector<int> partners_;
  std::vector<int> class_start_;  // per residue class, its first entry
  std::vector<Check> checks_;     // the other letters, rarest first

  Part parts_[2];
  int part_count_ = 1;
  Block block_ = {};  // the block the helper joins its part of
  bool quit_ = false;
  std::binary_semaphore go_{0};
  std::binary_semaphore done_{0};
  std::thread helper_;
};

JoinScan::JoinScan(const ScanJob& job)
    : job_(job),
      text_(reinterpret_cast<const unsigned char*>(job.text)),
      last_skip_(std::min(job.max_skip, job.lastFittingSkip())) {
  if (last_skip_ < 1) return;
  const std::array<long long, 256> counts = countBytes(job);
  choosePair(counts);
  buildChecks(counts);
  buildIndex();
  startCursors();
  if (estimatedPairs(counts) >= fastScanTuning.parallel_pairs) {
    part_count_ = 2;
    helper_ = std::thread([this] { helperLoop(); });
  }
}

JoinScan::~JoinScan() {
  if (!helper_.joinable()) return;
  quit_ = true;
  go_.release();
  helper_.join();
}

// Every pair of occurrences costs the same whatever the letters' distance
// in the string, since a start that fits bounds the skip either way; so the
// two rarest letters make the fewest pairs. Among equally rare partners a
// power-of-two spacing saves a division per anchor.
void JoinScan::choosePair(const std::array<long long, 256>& counts) {
  const auto* pattern = reinterpret_cast<const unsigned char*>(job_.pattern);
  const int length = job_.pattern_len;
  int rarest = 0;
  for (int k = 1; k < length; ++k) {
    if (counts[pattern[k]] < counts[pattern[rarest]]) rarest = k;
  }
  int partner = -1;
  for (int k = 0; k < length; ++k) {
    if (k == rarest) continue;
    if (partner < 0) {
      partner = k;
      continue;
    }
    const long long count = counts[pattern[k]];
    const long long best = counts[pattern[partner]];
    const int distance = std::abs(k - rarest);
    const int best_distance = std::abs(partner - rarest);
    if (count != best) {
      if (count < best) partner = k;
    } else if (isPowerOfTwo(distance) != isPowerOfTwo(best_distance)) {
      if (isPowerOfTwo(distance)) partner = k;
    } else if (distance < best_distance) {
      partner = k;
    }
  }
  anchor_index_ = std::min(rarest, partner);
  spacing_ = std::abs(partner - rarest);
  shift_ = -1;
  if (isPowerOfTwo(spacing_)) {
    shift_ = 0;
    while ((1 << shift_) < spacing_) ++shift_;
  }
}

// The first check screens every pair; a string of two letters has none, and
// gets one that every pair passes: the anchor letter itself.
void JoinScan::buildChecks(const std::array<long long, 256>& counts) {
  const auto* pattern = reinterpret_cast<const unsigned char*>(job_.pattern);
  for (int k = 0; k < job_.pattern_len; ++k) {
    if (k == anchor_index_ || k == anchor_index_ + spacing_) continue;
    checks_.push_back({k - anchor_index_, pattern[k]});
  }
  std::stable_sort(checks_.begin(), checks_.end(), [&counts](const Check& a, const Check& b) {
    return counts[a.letter] < counts[b.letter];
  });
  if (checks_.empty()) checks_.push_back({0, pattern[anchor_index_]});
}

void JoinScan::buildIndex() {
  const auto* pattern = reinterpret_cast<const unsigned char*>(job_.pattern);
  const unsigned char anchor_letter = pattern[anchor_index_];
  const unsigned char partner_letter = pattern[anchor_index_ + spacing_];
  std::vector<int> class_size(static_cast<std::size_t>(spacing_), 0);
  for (int pos = 0; pos < job_.text_len; ++pos) {
    if (text_[pos] == anchor_letter) anchors_.push_back(pos);
    if (text_[pos] == partner_letter) {
      int quotient = 0;
      int residue = 0;
      split(pos, &quotient, &residue);
      ++class_size[static_cast<std::size_t>(residue)];
    }
  }
  // Each class is closed by a sentinel above every quotient.
  class_start_.assign(static_cast<std::size_t>(spacing_), 0);
  int total = 0;
  for (int r = 0; r < spacing_; ++r) {
    class_start_[static_cast<std::size_t>(r)] = total;
    total += class_size[static_cast<std::size_t>(r)] + 1;
  }
  partners_.assign(static_cast<std::size_t>(total), INT_MAX);
  std::vector<int> fill = class_start_;
  for (int pos = 0; pos < job_.text_len; ++pos) {
    if (text_[pos] != partner_letter) continue;
    int quotient = 0;
    int residue = 0;
    split(pos, &quotient, &residue);
    partners_[static_cast<std::size_t>(fill[static_cast<std::size_t>(residue)]++)] = quotient;
  }
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

// Pairs of a text of independent letters: every start that fits, times the
// chance that both letters of the pair stand there.
long long JoinScan::estimatedPairs(const std::array<long long, 256>& counts) const {
  const auto* pattern = reinterpret_cast<const unsigned char*>(job_.pattern);
  const double text_len = job_.text_len;
  const double skips = last_skip_;
  const double starts = skips * text_len - (job_.pattern_len - 1) * skips * (skips + 1) / 2;
  const double chance = static_cast<double>(counts[pattern[anchor_index_]]) / text_len *
                        static_cast<double>(counts[pattern[anchor_index_ + spacing_]]) / text_len;
  return static_cast<long long>(starts * chance);
}

// An anchor x stands at start + anchor_index_ x skip, and a start fits when
// it is at least 0 and start + (pattern_len - 1) x skip is within the text.
Block JoinScan::makeBlock(int first, int end) const {
  const int after = job_.pattern_len - 1 - anchor_index_;
  const int lowest = anchor_index_ * first;
  const int highest = job_.text_len - 1 - after * first;
  Block block;
  block.first = first;
  block.end = end;
  block.anchor_lo = static_cast<int>(
      std::lower_bound(anchors_.begin(), anchors_.end(), lowest) - anchors_.begin());
  block.anchor_hi = static_cast<int>(
      std::upper_bound(anchors_.begin(), anchors_.end(), highest) - anchors_.begin());
  block.full_lo = anchor_index_ * (end - 1);
  block.full_hi = job_.text_len - 1 - after * (end - 1);
  return block;
}

void JoinScan::runBlock(const Block& block) {
  if (part_count_ == 1) {
    joinPart(block, 0, 1);
    return;
  }
  block_ = block;
  go_.release();
  joinPart(block, 0, 2);
  done_.acquire();
}

void JoinScan::helperLoop() {
  for (;;) {
    go_.acquire();
    if (quit_) return;
    joinPart(block_, 1, 2);
    done_.release();
  }
}

void JoinScan::joinPart(const Block& block, int part_no, int parts) {
  Part* part = &parts_[part_no];
  part->raw.clear();
  part->pairs = 0;
  part->stopped = false;
  int batch[kPairsPerBatch];
  for (int chunk = block.anchor_lo / kAnchorsPerChunk; chunk * kAnchorsPerChunk < block.anchor_hi;
       ++chunk) {
    if (chunk % parts != part_no) continue;
    const int lo = std::max(block.anchor_lo, chunk * kAnchorsPerChunk);
    const int hi = std::min(block.anchor_hi, (chunk + 1) * kAnchorsPerChunk);
    for (int anchor = lo; anchor < hi; ++anchor) {
      if (stopRequested()) {
        part->stopped = true;
        return;
      }
      joinAnchor(anchor, block, part, batch);
    }
  }
  sortPart(block, part);
}

// Pairs one anchor with every partner of its class at a skip of the block
// at which the start fits. The first check is done on every pair without a
// branch, keeping the survivors for the other checks.
void JoinScan::joinAnchor(int anchor, const Block& block, Part* part, int* batch) {
  const int x = anchors_[static_cast<std::size_t>(anchor)];
  int last = block.end - 1;
  if (x < block.full_lo) last = x / anchor_index_;
  if (x > block.full_hi) {
    last = std::min(last, (job_.text_len - 1 - x) / (job_.pattern_len - 1 - anchor_index_));
  }
  if (last < block.first) return;
  int quotient = 0;
  int residue = 0;
  split(x, &quotient, &residue);
  // The cursor is an index into partners_ within the anchor's class.
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
    for (int k = 0; k < kept; ++k) confirm(x, batch[k], part);
    if (next < batch_end) break;
  }
  part->pairs += next - cursor;
  cursor = next;
}

void JoinScan::confirm(int x, int skip, Part* part) const {
  const unsigned char* at = text_ + x;
  for (std::size_t k = 1; k < checks_.size(); ++k) {
    if (at[checks_[k].offset * skip] != checks_[k].letter) return;
  }
  part->raw.push_back({skip, x - anchor_index_ * skip});
}

// A stable counting sort by skip: within a skip the starts stay ascending,
// since the anchors were taken in ascending order.
void JoinScan::sortPart(const Block& block, Part* part) const {
  const auto skips = static_cast<std::size_t>(block.end - block.first);
  part->skip_start.assign(skips + 1, 0);
  for (const Found& found : part->raw) {
    ++part->skip_start[static_cast<std::size_t>(found.skip - block.first) + 1];
  }
  for (std::size_t k = 1; k <= skips; ++k) part->skip_start[k] += part->skip_start[k - 1];
  part->fill.assign(part->skip_start.begin(), part->skip_start.end() - 1);
  part->sorted.resize(part->raw.size());
  for (const Found& found : part->raw) {
    const auto k = static_cast<std::size_t>(found.skip - block.first);
    part->sorted[static_cast<std::size_t>(part->fill[k]++)] = found;
  }
}

// Appends the block's hits skip by skip, merging the two threads' starts,
// with the marks that fall inside the block.
void JoinScan::appendBlock(const Block& block, Hit** tail, bool* found) const {
  const Part& one = parts_[0];
  const Part& two = parts_[1];
  for (int skip = block.first; skip < block.end; ++skip) {
    if (skip > block.first && job_.markDue(skip)) {
      writeProgressMark(*found);
      *found = false;
    }
    const auto k = static_cast<std::size_t>(skip - block.first);
    int a = one.skip_start[k];
    const int a_end = one.skip_start[k + 1];
    int b = 0;
    int b_end = 0;
    if (part_count_ == 2) {
      b = two.skip_start[k];
      b_end = two.skip_start[k + 1];
    }
    while (a < a_end || b < b_end) {
      int start = 0;
      if (b == b_end || (a < a_end && one.sorted[static_cast<std::size_t>(a)].start <
                                          two.sorted[static_cast<std::size_t>(b)].start)) {
        start = one.sorted[static_cast<std::size_t>(a++)].start;
      } else {
        start = two.sorted[static_cast<std::size_t>(b++)].start;
      }
      appendHit(tail, skip, start + 1);
      *found = true;
    }
  }
}

// Grows the blocks while they are cheap and shrinks them where pairs or
// hits are dense, so that each takes a few milliseconds and its buffers stay
// small.
int JoinScan::nextBlockSize(int size) const {
  long long pairs = parts_[0].pairs;
  auto hits = static_cast<long long>(parts_[0].raw.size());
  if (part_count_ == 2) {
    pairs += parts_[1].pairs;
    hits += static_cast<long long>(parts_[1].raw.size());
  }
  long long next = 2LL * size;
  if (pairs > 0) next = std::min(next, fastScanTuning.block_pairs * size / pairs);
  if (hits > 0) next = std::min(next, fastScanTuning.block_hits * size / hits);
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
    if (skip > last_skip_ || stopRequested()) break;
    const Block block = makeBlock(skip, skip + std::min(size, last_skip_ + 1 - skip));
    runBlock(block);
    if (parts_[0].stopped || parts_[1].stopped) break;
    appendBlock(block, &tail, &found);
    size = nextBlockSize(size);
    skip = block.end;
  }
}

}  // namespace

void fastScan(const ScanJob& job, Hit* head) {
  JoinScan scan(job);
  scan.run(head);
}
