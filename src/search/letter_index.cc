#include "search/letter_index.h"

#include <climits>
#include <cstdlib>
#include <utility>

namespace {

bool isPowerOfTwo(int value) { return (value & (value - 1)) == 0; }

class Builder {
 public:
  Builder(const ScanJob& job, ScanTeam* team, LetterIndex* index)
      : job_(job),
        pattern_(reinterpret_cast<const unsigned char*>(job.pattern)),
        team_(*team),
        index_(*index) {}

  bool setUpPairs(const std::vector<int>& by_rarity);
  bool setUpMasks(const std::vector<int>& by_rarity);

 private:
  unsigned char letter(int index) const { return pattern_[index]; }
  void addChecks(const std::vector<int>& indexes);
  bool collectAnchors();
  bool buildPartners(int partner_index);
  void startCursors();
  MaskLetter emptyMask(int index, std::vector<unsigned char> bytes);
  bool fillAnchorsAndMasks();

  const ScanJob& job_;
  const unsigned char* pattern_;
  ScanTeam& team_;
  LetterIndex& index_;
};

// Every pair costs the same whatever the letters' distance in the string,
// since a start that fits bounds the skip either way; so the two rarest
// letters make the fewest pairs. Among equally rare partners a power-of-two
// spacing is the cheapest to split by. The anchor is the earlier letter.
bool Builder::setUpPairs(const std::vector<int>& by_rarity) {
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
  index_.anchor_index = std::min(rarest, partner);
  index_.spacing = std::abs(partner - rarest);
  index_.shift =
      isPowerOfTwo(index_.spacing) ? std::countr_zero(static_cast<unsigned>(index_.spacing)) : -1;
  index_.by_spacing = Divider(index_.spacing);
  std::vector<int> others;
  for (int k : by_rarity) {
    if (k != rarest && k != partner) others.push_back(k);
  }
  if (others.empty()) {
    index_.screen = {0, letter(index_.anchor_index)};
  } else {
    index_.screen = {others[0] - index_.anchor_index, letter(others[0])};
    others.erase(others.begin());
  }
  addChecks(others);
  // Two passes over the text, on two members when the team has them.
  const int partner_member = team_.size() > 1 ? 1 : 0;
  bool anchors_done = true;
  bool partners_done = true;
  team_.run([&](int member) {
    if (member == 0) anchors_done = collectAnchors();
    if (member == partner_member)
      partners_done = buildPartners(index_.anchor_index + index_.spacing);
  });
  if (!anchors_done || !partners_done) return false;
  startCursors();
  return true;
}

bool Builder::setUpMasks(const std::vector<int>& by_rarity) {
  index_.anchor_index = by_rarity[0];
  const std::size_t masked = std::min(kMaxMaskLetters, by_rarity.size() - 1);
  // The maps' bytes are kept from the last scan's maps.
  std::vector<std::vector<unsigned char>> kept(kMaxMaskLetters);
  for (std::size_t m = 0; m < index_.masks.size() && m < kMaxMaskLetters; ++m) {
    kept[m] = std::move(index_.masks[m].bytes);
  }
  index_.masks.clear();
  for (std::size_t k = 1; k <= masked; ++k) {
    index_.masks.push_back(emptyMask(by_rarity[k], std::move(kept[k - 1])));
  }
  addChecks(std::vector<int>(by_rarity.begin() + static_cast<long>(masked) + 1, by_rarity.end()));
  return fillAnchorsAndMasks();
}

void Builder::addChecks(const std::vector<int>& indexes) {
  for (int k : indexes) index_.checks.push_back({k - index_.anchor_index, letter(k)});
}

bool Builder::collectAnchors() {
  const unsigned char anchor_letter = letter(index_.anchor_index);
  const unsigned char* text = index_.text;
  return forEachPosition(0, job_.text_len, index_.positions_per_poll, [&](int pos) {
    if (text[pos] == anchor_letter) index_.anchors.push_back(pos);
  });
}

bool Builder::buildPartners(int partner_index) {
  const unsigned char partner_letter = letter(partner_index);
  const unsigned char* text = index_.text;
  std::vector<int> class_size(static_cast<std::size_t>(index_.spacing), 0);
  int quotient = 0;
  int residue = 0;
  const bool counted = forEachPosition(0, job_.text_len, index_.positions_per_poll, [&](int pos) {
    if (text[pos] != partner_letter) return;
    index_.split(pos, &quotient, &residue);
    ++class_size[static_cast<std::size_t>(residue)];
  });
  if (!counted) return false;
  // Each class is closed by a sentinel above every quotient.
  index_.class_start.assign(static_cast<std::size_t>(index_.spacing), 0);
  int total = 0;
  for (std::size_t r = 0; r < class_size.size(); ++r) {
    index_.class_start[r] = total;
    total += class_size[r] + 1;
  }
  index_.partners.assign(static_cast<std::size_t>(total), INT_MAX);
  std::vector<int> fill = index_.class_start;
  return forEachPosition(0, job_.text_len, index_.positions_per_poll, [&](int pos) {
    if (text[pos] != partner_letter) return;
    index_.split(pos, &quotient, &residue);
    index_.partners[static_cast<std::size_t>(fill[static_cast<std::size_t>(residue)]++)] = quotient;
  });
}

// Points every anchor at the first partner of its class that lies after it.
void Builder::startCursors() {
  std::vector<int> next = index_.class_start;
  index_.cursors.resize(index_.anchors.size());
  for (std::size_t a = 0; a < index_.anchors.size(); ++a) {
    int quotient = 0;
    int residue = 0;
    index_.split(index_.anchors[a], &quotient, &residue);
    int& cursor = next[static_cast<std::size_t>(residue)];
    while (index_.partners[static_cast<std::size_t>(cursor)] <= quotient) ++cursor;
    index_.cursors[a] = cursor;
  }
}

MaskLetter Builder::emptyMask(int index, std::vector<unsigned char> bytes) {
  MaskLetter mask;
  mask.offset = index - index_.anchor_index;
  mask.stride = std::abs(mask.offset);
  mask.by_stride = Divider(mask.stride);
  int total = 0;
  for (int r = 0; r < mask.stride; ++r) {
    mask.class_base.push_back(total);
    mask.class_size.push_back((job_.text_len - r + mask.stride - 1) / mask.stride);
    total += mask.class_size.back();
  }
  // Room for the last step's loads.
  mask.bytes = std::move(bytes);
  mask.bytes.assign(static_cast<std::size_t>(total / 8 + 1 + kMaskPadding), 0);
  return mask;
}

// The anchors and the maps are shared out among the team's members, each
// share to the member with the fewest letters so far, the commonest letters
// first, and each member fills its shares in one pass over the text: a map
// is written by one thread only, and its bits of neighbouring positions
// share bytes.
bool Builder::fillAnchorsAndMasks() {
  constexpr unsigned kAnchorBit = 1u << kMaxMaskLetters;
  // Share k: the anchors for k = 0, else map k - 1.
  const std::size_t shares = index_.masks.size() + 1;
  const auto share_letter = [&](std::size_t k) {
    return letter(index_.anchor_index + (k == 0 ? 0 : index_.masks[k - 1].offset));
  };
  std::array<std::size_t, kMaxMaskLetters + 1> by_count{};
  for (std::size_t k = 0; k < shares; ++k) by_count[k] = k;
  std::stable_sort(by_count.begin(), by_count.begin() + static_cast<long>(shares),
                   [&](std::size_t a, std::size_t b) {
                     return index_.letter_counts[share_letter(a)] >
                            index_.letter_counts[share_letter(b)];
                   });
  const auto members = static_cast<std::size_t>(team_.size());
  std::array<long long, kMaxScanThreads> load{};
  std::array<std::size_t, kMaxMaskLetters + 1> owner{};
  for (std::size_t i = 0; i < shares; ++i) {
    const std::size_t k = by_count[i];
    owner[k] = static_cast<std::size_t>(
        std::min_element(load.begin(), load.begin() + static_cast<long>(members)) - load.begin());
    load[owner[k]] += index_.letter_counts[share_letter(k)];
  }
  std::array<bool, kMaxScanThreads> done{};
  team_.run([&](int member) {
    const auto self = static_cast<std::size_t>(member);
    done[self] = true;
    if (std::find(owner.begin(), owner.begin() + static_cast<long>(shares), self) ==
        owner.begin() + static_cast<long>(shares)) {
      return;  // more members than shares
    }
    std::array<unsigned, 256> wanted{};  // bit m: map m's letter; kAnchorBit
    for (std::size_t k = 0; k < shares; ++k) {
      if (owner[k] == self) wanted[share_letter(k)] |= k == 0 ? kAnchorBit : 1u << (k - 1);
    }
    const unsigned char* text = index_.text;
    done[self] = forEachPosition(0, job_.text_len, index_.positions_per_poll, [&](int pos) {
      const unsigned bits = wanted[text[pos]];
      if (bits == 0) return;
      if ((bits & kAnchorBit) != 0) index_.anchors.push_back(pos);
      for (std::size_t m = 0; m < index_.masks.size(); ++m) {
        if ((bits >> m & 1) != 0) index_.masks[m].set(pos);
      }
    });
  });
  return std::all_of(done.begin(), done.begin() + static_cast<long>(members),
                     [](bool d) { return d; });
}

}  // namespace

bool planLetterIndex(const ScanJob& job, int last_skip, JoinMethod method, LetterIndex* index,
                     double* estimated_work) {
  index->text = reinterpret_cast<const unsigned char*>(job.text);
  index->anchors.clear();
  index->checks.clear();
  index->partners.clear();
  index->cursors.clear();
  const auto* text = index->text;
  ByteCounts& counts = index->letter_counts;
  counts.fill(0);
  const auto count = [&](int pos) { ++counts[text[pos]]; };
  if (!forEachPosition(0, job.text_len, index->positions_per_poll, count)) return false;
  const auto* pattern = reinterpret_cast<const unsigned char*>(job.pattern);
  std::vector<int>& by_rarity = index->by_rarity;
  by_rarity.resize(static_cast<std::size_t>(job.pattern_len));
  for (int k = 0; k < job.pattern_len; ++k) by_rarity[static_cast<std::size_t>(k)] = k;
  std::sort(by_rarity.begin(), by_rarity.end(), [&](int a, int b) {
    return counts[pattern[a]] != counts[pattern[b]] ? counts[pattern[a]] < counts[pattern[b]]
                                                    : a < b;
  });
  // The start positions that the plain loop tries, times the chance that a
  // start shows the rarest letter (and the second rarest) where they belong.
  const double text_len = job.text_len;
  const double skips = last_skip;
  const double starts = skips * text_len - (job.pattern_len - 1) * skips * (skips + 1) / 2;
  const double rarest = static_cast<double>(counts[pattern[by_rarity[0]]]) / text_len;
  const double second = static_cast<double>(counts[pattern[by_rarity[1]]]) / text_len;
  const double pair_work = starts * rarest * second;
  // The masks' work is reckoned in plain steps whatever the width: the
  // choice between the joins was measured so.
  const MaskStepWidth& plain = maskStepWidth(MaskStep::kPlain);
  const double mask_work = starts * rarest / plain.skips * static_cast<double>(plain.work);
  index->pairs =
      method == JoinMethod::kPairs || (method == JoinMethod::kCheapest && pair_work < mask_work);
  *estimated_work = std::min(pair_work, mask_work);
  return true;
}

bool buildLetterIndex(const ScanJob& job, ScanTeam* team, LetterIndex* index) {
  Builder builder(job, team, index);
  return index->pairs ? builder.setUpPairs(index->by_rarity) : builder.setUpMasks(index->by_rarity);
}
