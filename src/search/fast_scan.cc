#include "search/fast_scan.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/hit_list.h"
#include "search/block_hits.h"
#include "search/block_sizing.h"
#include "search/join.h"
#include "search/letter_index.h"
#include "search/mask_steps.h"
#include "search/scan_team.h"
#include "util/interrupt.h"

// The joined scan's roles, one file each: scan_tuning.h (the sizes that
// shape the work) and mask_steps.h (the widths of the masks' steps),
// letter_index.h (the anchors, partners, maps and checks), join.h (the two
// join methods over one block and one range of anchors), block_sizing.h
// (which skips a block takes and which anchors fit), block_hits.h (one
// thread's hits of a block, grouped by skip), scan_team.h (the threads), and
// this file, which runs the blocks in order and appends their hits and marks.

namespace {

// The buffers of the last scan, kept for the next (see letter_index.h).
// Never destroyed: a scan thread may still read them while the program
// ends from another thread.
LetterIndex& keptIndex() {
  static LetterIndex& index = *new LetterIndex;
  return index;
}

std::vector<BlockHits>& keptParts() {
  static std::vector<BlockHits>& parts = *new std::vector<BlockHits>;
  return parts;
}

class JoinScan {
 public:
  JoinScan(const ScanJob& job, LetterIndex* index, std::vector<BlockHits>* parts)
      : job_(job),
        index_(*index),
        parts_(*parts),
        last_skip_(std::min(job.max_skip, job.lastFittingSkip())) {}

  void run(HitList* list);

 private:
  void takeTuning();
  void joinBlocks(ScanTeam* team, HitList* list);
  void joinBlock(ScanTeam* team, const Block& block);
  BlockCost blockCost(const Block& block, bool* stopped) const;
  bool appendBlock(ScanTeam* team, const Block& block, HitList* list, bool* found);

  const ScanJob& job_;
  LetterIndex& index_;
  std::vector<BlockHits>& parts_;
  int last_skip_;  // highest skip with a start position, within max_skip
};

// The members take consecutive ranges of the block's anchors, of equal
// counts. Near the ends of the text some anchors fit at fewer skips, but
// they are few beside the rest until the last blocks.
void JoinScan::joinBlock(ScanTeam* team, const Block& block) {
  const int members = team->size();
  const long long anchors = block.anchors_end - block.anchors_begin;
  team->run([&](int member) {
    const auto lo = static_cast<int>(block.anchors_begin + anchors * member / members);
    const auto hi = static_cast<int>(block.anchors_begin + anchors * (member + 1) / members);
    joinAnchors(&index_, block, lo, hi, &parts_[static_cast<std::size_t>(member)]);
  });
}

// Writes the marks that fall inside the block and makes room in the list
// for its hits, skip by skip; then the team copies them in. Like the plain
// loop, polls right after every mark: returns false when the scan is to
// stop there, with the hits of the skips before the mark's in the list.
bool JoinScan::appendBlock(ScanTeam* team, const Block& block, HitList* list, bool* found) {
  int upto = block.end;
  long long next_mark = job_.nextMark(block.first);
  for (int skip = block.first; skip < block.end; ++skip) {
    if (skip == next_mark) {
      next_mark = job_.nextMark(skip);
      writeProgressMark(*found);
      *found = false;
      if (scanStopRequested()) {
        upto = skip;
        break;
      }
    }
    const auto k = static_cast<std::size_t>(skip - block.first);
    long long total = 0;
    for (const BlockHits& part : parts_) total += part.counts[k];
    if (total == 0) continue;
    int next = list->appendSlots(skip, total);
    for (BlockHits& part : parts_) {
      part.dest[k] = next;
      next += part.counts[k];
    }
    *found = true;
  }
  team->run([&](int member) {
    parts_[static_cast<std::size_t>(member)].copyInto(list, upto - block.first);
  });
  return upto == block.end;
}

// The width of the masks' steps and the sizes that the tuning sets.
void JoinScan::takeTuning() {
  index_.mask_width = widestMaskWidth(fastScanTuning.widest_mask);
  index_.pairs_per_batch = std::clamp(fastScanTuning.pairs_per_batch, 1, kMaxPairsPerBatch);
  index_.positions_per_poll = std::max(fastScanTuning.positions_per_poll, 1);
}

// Plans the index on a team sized for the count of the letters (which
// reads the whole text), then builds it and joins the blocks on a team
// sized for the estimated work of the scan. The set-up polls too; after a
// Ctrl-C it stops, and so does the block loop at its first poll.
void JoinScan::run(HitList* list) {
  takeTuning();
  const int count_threads = scanThreads(fastScanTuning, job_.text_len);
  ScanTeam count_team(count_threads);
  double estimated_work = 0;
  const bool planned = last_skip_ >= 1 && planLetterIndex(job_, last_skip_, fastScanTuning.method,
                                                          &count_team, &index_, &estimated_work);
  const int scan_threads = scanThreads(fastScanTuning, estimated_work);
  std::optional<ScanTeam> own_team;
  if (scan_threads != count_threads) own_team.emplace(scan_threads);
  ScanTeam& team = own_team ? *own_team : count_team;
  if (planned) buildLetterIndex(job_, &team, &index_);
  joinBlocks(&team, list);
}

// The blocks in order of their skips, each sized by what the last one
// cost, with the marks due before each and those inside it.
void JoinScan::joinBlocks(ScanTeam* team, HitList* list) {
  parts_.resize(static_cast<std::size_t>(team->size()));
  const BlockShape shape = {job_.text_len, job_.pattern_len, index_.anchor_index};
  const BlockSizeRules rules = {job_.mark_interval, joinUnit(index_), job_.text_len};
  bool found = false;
  int size = firstBlockSize(fastScanTuning);
  for (int skip = 1; skip <= job_.max_skip;) {
    if (job_.markDue(skip)) {
      writeProgressMark(found);
      found = false;
    }
    // The plain loop polls nothing at a skip without start positions.
    if (skip > last_skip_ || scanStopRequested()) break;
    const Block block =
        makeBlock(shape, index_.anchors, skip, skip + std::min(size, last_skip_ + 1 - skip));
    joinBlock(team, block);
    bool stopped = false;
    const BlockCost cost = blockCost(block, &stopped);
    if (stopped || !appendBlock(team, block, list, &found)) break;
    size = nextBlockSize(cost, rules, fastScanTuning);
    skip = block.end;
  }
}

// What the block cost all members together; *stopped tells whether one of
// them saw a Ctrl-C and dropped the block.
BlockCost JoinScan::blockCost(const Block& block, bool* stopped) const {
  BlockCost cost = {block.end - block.first, 0, 0};
  for (const BlockHits& part : parts_) {
    cost.work += part.work;
    cost.hits += static_cast<long long>(part.found.size());
    *stopped = *stopped || part.stopped;
  }
  return cost;
}

}  // namespace

void fastScan(const ScanJob& job, HitList* list) {
  JoinScan scan(job, &keptIndex(), &keptParts());
  scan.run(list);
}
