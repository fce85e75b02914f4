#include "search/block_sizing.h"

#include <algorithm>
#include <cmath>

int Block::lastSkipNearAnEnd(int x) const {
  int last = end - 1;
  if (x < full_pos_lo) last = x / shape.anchor_index;
  if (x > full_pos_hi) {
    last = std::min(last, (shape.text_len - 1 - x) / (shape.pattern_len - 1 - shape.anchor_index));
  }
  return last;
}

Block makeBlock(const BlockShape& shape, const std::vector<int>& anchors, int first, int end) {
  // Each product is at most (pattern_len - 1) x the last fitting skip, which
  // is below text_len.
  const int after = shape.pattern_len - 1 - shape.anchor_index;
  const int lowest = shape.anchor_index * first;
  const int highest = shape.text_len - 1 - after * first;
  Block block;
  block.shape = shape;
  block.first = first;
  block.end = end;
  block.anchors_begin =
      static_cast<int>(std::lower_bound(anchors.begin(), anchors.end(), lowest) - anchors.begin());
  block.anchors_end =
      static_cast<int>(std::upper_bound(anchors.begin(), anchors.end(), highest) - anchors.begin());
  block.full_pos_lo = shape.anchor_index * (end - 1);
  block.full_pos_hi = shape.text_len - 1 - after * (end - 1);
  return block;
}

namespace {

int clampSize(double size, const FastScanTuning& tuning) {
  const int most = std::max(tuning.max_block_skips, 1);
  const int least = std::min(std::max(tuning.min_block_skips, 1), most);
  return static_cast<int>(std::clamp(size, static_cast<double>(least), static_cast<double>(most)));
}

}  // namespace

int firstBlockSize(const FastScanTuning& tuning) { return clampSize(1, tuning); }

int nextBlockSize(const BlockCost& last, const BlockSizeRules& rules,
                  const FastScanTuning& tuning) {
  const double size = last.skips;
  double next = 8.0 * size;
  if (last.work > 0) {
    next = std::min(next,
                    static_cast<double>(tuning.block_work) * size / static_cast<double>(last.work));
  }
  next = std::max(next, static_cast<double>(rules.mark_interval));
  const double unit = std::max(rules.unit.skips, 1);
  next = std::max(unit * std::max(rules.unit.least_units, 1), std::round(next / unit) * unit);
  if (last.hits > 0) {
    const double most_hits = std::max(static_cast<double>(tuning.block_hits),
                                      static_cast<double>(rules.text_len) / kTextBytesPerBlockHit);
    next = std::min(next, most_hits * size / static_cast<double>(last.hits));
  }
  return clampSize(next, tuning);
}
