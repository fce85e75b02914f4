#include "search/letter_index.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "search/letter_bits.h"
#include "util/byte_words.h"
#include "util/memory.h"

namespace {

bool isPowerOfTwo(int value) { return (value & (value - 1)) == 0; }

// chunkBits where the text ends within the 64 positions.
std::uint64_t tailBits(const unsigned char* text, int left, unsigned char letter) {
  unsigned char tail[64] = {};
  std::memcpy(tail, text, static_cast<std::size_t>(left));
  return letterBits(tail, letter) & ((std::uint64_t{1} << left) - 1);
}

// Whether letter stands at the positions from pos on, as the bits of a
// word (bit k: pos + k), none past the text's end.
// REQUIRES: 0 <= pos < text_len.
inline std::uint64_t chunkBits(const unsigned char* text, int text_len, long long pos,
                               unsigned char letter) {
  const long long left = text_len - pos;
  if (left >= 64) return letterBits(text + pos, letter);
  return tailBits(text + pos, static_cast<int>(left), letter);
}

// The words of one tile of a map: words[r] gets, for k from 0 to 63, at
// bit k (ascending) or 63 - k (descending), whether letter stands at
// tile_text[r + stride x k]; tile_text holds tile_length bytes (1 to 64 x
// stride), and the positions past them count as without the letter. The
// position at u from the tile's start is of class u mod stride, and the
// (u / stride)-th of its class in the tile.
void tileWords(const unsigned char* tile_text, int tile_length, unsigned char letter,
               const Divider& by_stride, int stride, bool ascending, std::uint64_t* words) {
  if (stride == 1) {
    const std::uint64_t bits = chunkBits(tile_text, tile_length, 0, letter);
    words[0] = ascending ? bits : reverseBits(bits);
    return;
  }
  std::fill_n(words, stride, 0);
  const int flip = ascending ? 0 : 63;  // k ^ 63 is 63 - k
  for (int from = 0; from < tile_length; from += 64) {
    for (std::uint64_t bits = chunkBits(tile_text, tile_length, from, letter); bits != 0;
         bits &= bits - 1) {
      const int u = from + std::countr_zero(bits);
      const int k = by_stride.quotient(u);
      words[u - k * stride] |= std::uint64_t{1} << (k ^ flip);
    }
  }
}

// Calls visit(pos, bits) with the chunkBits of every 64 positions from
// `from` to `to` (from a multiple of 64 on, to at most the text's length),
// polling before each run of per_poll positions (1 or more). Returns false
// when a Ctrl-C cut the pass short.
template <typename Visit>
bool forEachChunk(const unsigned char* text, int text_len, unsigned char letter, long long from,
                  long long to, int per_poll, Visit visit) {
  long long next_poll = from;
  for (long long pos = from; pos < to; pos += 64) {
    if (pos >= next_poll) {
      if (scanStopRequested()) return false;
      next_poll = pos + per_poll;
    }
    visit(pos, chunkBits(text, text_len, pos, letter));
  }
  return true;
}

// Calls visit(pos) for every position of the text at which letter stands,
// in ascending order; polls as forEachChunk does.
template <typename Visit>
bool forEachOccurrence(const unsigned char* text, int text_len, unsigned char letter, int per_poll,
                       Visit visit) {
  return forEachChunk(text, text_len, letter, 0, text_len, per_poll,
                      [&](long long pos, std::uint64_t bits) {
                        for (; bits != 0; bits &= bits - 1) {
                          visit(static_cast<int>(pos + std::countr_zero(bits)));
                        }
                      });
}

// Adds the bytes of text[from, to) to *counts by value, in four counts per
// value taken in turn, so that a run of one letter does not wait on one
// count; polls as forEachRun does.
bool countLetters(const unsigned char* text, int from, int to, int per_poll, ByteCounts* counts) {
  std::array<std::array<std::uint32_t, 256>, 4> part{};
  const bool counted = forEachRun(from, to, per_poll, [&](int run_from, int run_to) {
    int pos = run_from;
    for (; run_to - pos >= 4; pos += 4) {
      ++part[0][text[pos]];
      ++part[1][text[pos + 1]];
      ++part[2][text[pos + 2]];
      ++part[3][text[pos + 3]];
    }
    for (; pos < run_to; ++pos) ++part[0][text[pos]];
  });
  if (!counted) return false;
  for (std::size_t value = 0; value < 256; ++value) {
    (*counts)[value] +=
        static_cast<long long>(part[0][value]) + part[1][value] + part[2][value] + part[3][value];
  }
  return true;
}

// One team member's part of the maps' fill: the anchors among the
// positions [anchors_from, anchors_to), written into the anchors from
// anchors_at on, and for each map the tiles [tile_begin, tile_end). The
// parts of the members follow each other in the text, so that the anchors
// stay in ascending order and every word of a map has one writer.
struct FillPart {
  long long anchors_from = 0;  // a multiple of 64
  long long anchors_to = 0;    // a multiple of 64, or the text's length
  std::size_t anchors_at = 0;
  std::array<long long, kMaxMaskLetters> tile_begin{};
  std::array<long long, kMaxMaskLetters> tile_end{};
};

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
  unsigned char maskLetter(std::size_t m) const {
    return letter(index_.anchor_index + index_.masks[m].offset);
  }
  void addChecks(const std::vector<int>& indexes);
  bool collectAnchors();
  bool buildPartners(int partner_index);
  void startCursors();
  bool fillAnchorsAndMasks();
  bool countAnchors(const FillPart& part, long long* count) const;
  bool fillPart(const FillPart& part);
  void fillTile(std::size_t m, long long tile, std::uint64_t* words);

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
  index_.masks.resize(masked);
  for (std::size_t k = 1; k <= masked; ++k) {
    index_.masks[k - 1].setUp(by_rarity[k] - index_.anchor_index, job_.text_len);
  }
  addChecks(std::vector<int>(by_rarity.begin() + static_cast<long>(masked) + 1, by_rarity.end()));
  return fillAnchorsAndMasks();
}

void Builder::addChecks(const std::vector<int>& indexes) {
  for (int k : indexes) index_.checks.push_back({k - index_.anchor_index, letter(k)});
}

bool Builder::collectAnchors() {
  index_.anchors.clear();
  return forEachOccurrence(index_.text, job_.text_len, letter(index_.anchor_index),
                           index_.positions_per_poll,
                           [&](int pos) { index_.anchors.push_back(pos); });
}

bool Builder::buildPartners(int partner_index) {
  const unsigned char partner_letter = letter(partner_index);
  std::vector<int> class_size(static_cast<std::size_t>(index_.spacing), 0);
  int quotient = 0;
  int residue = 0;
  const bool counted = forEachOccurrence(index_.text, job_.text_len, partner_letter,
                                         index_.positions_per_poll, [&](int pos) {
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
  return forEachOccurrence(
      index_.text, job_.text_len, partner_letter, index_.positions_per_poll, [&](int pos) {
        index_.split(pos, &quotient, &residue);
        index_.partners[static_cast<std::size_t>(fill[static_cast<std::size_t>(residue)]++)] =
            quotient;
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

// Every member takes an equal run of the text, its anchors and its tiles
// of every map, and fills them in one pass over its run; the anchors'
// places come from a count of each member's anchors first.
bool Builder::fillAnchorsAndMasks() {
  const int members = team_.size();
  const long long chunks = (job_.text_len + 63LL) / 64;
  std::array<FillPart, kMaxScanThreads> parts{};
  for (int k = 0; k < members; ++k) {
    FillPart& part = parts[static_cast<std::size_t>(k)];
    part.anchors_from = 64 * (chunks * k / members);
    part.anchors_to = std::min<long long>(64 * (chunks * (k + 1) / members), job_.text_len);
    for (std::size_t m = 0; m < index_.masks.size(); ++m) {
      const long long tiles = index_.masks[m].tiles;
      part.tile_begin[m] = tiles * k / members;
      part.tile_end[m] = tiles * (k + 1) / members;
    }
  }
  const unsigned char anchor_letter = letter(index_.anchor_index);
  index_.anchors.resize(static_cast<std::size_t>(index_.letter_counts[anchor_letter]));
  std::array<bool, kMaxScanThreads> done{};
  const auto all_done = [&] {
    return std::all_of(done.begin(), done.begin() + members, [](bool d) { return d; });
  };
  if (members > 1) {
    std::array<long long, kMaxScanThreads> counts{};
    team_.run([&](int member) {
      const auto self = static_cast<std::size_t>(member);
      done[self] = countAnchors(parts[self], &counts[self]);
    });
    if (!all_done()) return false;
    for (std::size_t k = 1; k < static_cast<std::size_t>(members); ++k) {
      parts[k].anchors_at = parts[k - 1].anchors_at + static_cast<std::size_t>(counts[k - 1]);
    }
  }
  team_.run([&](int member) {
    const auto self = static_cast<std::size_t>(member);
    done[self] = fillPart(parts[self]);
  });
  return all_done();
}

bool Builder::countAnchors(const FillPart& part, long long* count) const {
  return forEachChunk(index_.text, job_.text_len, letter(index_.anchor_index), part.anchors_from,
                      part.anchors_to, index_.positions_per_poll,
                      [&](long long, std::uint64_t bits) { *count += std::popcount(bits); });
}

// The anchors and the maps' tiles of one part, in rounds of per_poll
// positions: each round takes what begins before its end, so that the
// passes over the text stay close together and read it from the cache.
bool Builder::fillPart(const FillPart& part) {
  const std::size_t maps = index_.masks.size();
  int widest = 1;
  long long before = part.anchors_from;
  for (std::size_t m = 0; m < maps; ++m) {
    widest = std::max(widest, index_.masks[m].stride);
    before = std::min(before, index_.masks[m].tileStart(part.tile_begin[m]));
  }
  std::vector<std::uint64_t> words(static_cast<std::size_t>(widest));
  std::array<long long, kMaxMaskLetters> tile = part.tile_begin;
  long long anchor_pos = part.anchors_from;
  int* anchors = index_.anchors.data() + part.anchors_at;
  const unsigned char anchor_letter = letter(index_.anchor_index);
  for (;;) {
    bool left = anchor_pos < part.anchors_to;
    for (std::size_t m = 0; m < maps; ++m) left = left || tile[m] < part.tile_end[m];
    if (!left) return true;
    if (scanStopRequested()) return false;
    before += index_.positions_per_poll;
    for (; anchor_pos < std::min(before, part.anchors_to); anchor_pos += 64) {
      std::uint64_t bits = chunkBits(index_.text, job_.text_len, anchor_pos, anchor_letter);
      for (; bits != 0; bits &= bits - 1) {
        *anchors++ = static_cast<int>(anchor_pos + std::countr_zero(bits));
      }
    }
    for (std::size_t m = 0; m < maps; ++m) {
      for (; tile[m] < part.tile_end[m] && index_.masks[m].tileStart(tile[m]) < before; ++tile[m]) {
        fillTile(m, tile[m], words.data());
      }
    }
  }
}

void Builder::fillTile(std::size_t m, long long tile, std::uint64_t* words) {
  MaskLetter& mask = index_.masks[m];
  fillMapTile(index_.text, job_.text_len, mask, maskLetter(m), tile, words, mask.bytes.get());
}

}  // namespace

MapGeometry mapGeometry(int offset, int text_len) {
  MapGeometry map;
  map.offset = offset;
  map.stride = std::abs(offset);
  map.by_stride = Divider(map.stride);
  map.tiles = (text_len + 64LL * map.stride - 1) / (64LL * map.stride);
  map.class_bits = 64 * map.tiles;
  return map;
}

void fillMapTile(const unsigned char* text, int text_len, const MapGeometry& map,
                 unsigned char letter, long long tile, std::uint64_t* words,
                 unsigned char* map_bytes) {
  tileWords(text + map.tileStart(tile), map.tileLength(tile, text_len), letter, map.by_stride,
            map.stride, map.offset > 0, words);
  for (int r = 0; r < map.stride; ++r) storeBytes(map_bytes + 8 * map.wordIndex(r, tile), words[r]);
}

void MaskLetter::setUp(int map_offset, int text_len) {
  static_cast<MapGeometry&>(*this) = mapGeometry(map_offset, text_len);
  const auto words = static_cast<std::size_t>(stride * tiles);
  const std::size_t size = 8 * words + kMaskPadding;
  if (size > capacity) {
    bytes.reset();  // first, so that the old and the new block are never held at once
    void* block = allocateLargeBlock(size);
    if (block == nullptr) memoryExhausted(size, true);
    bytes.reset(static_cast<unsigned char*>(block));
    capacity = size;
  }
  std::fill_n(bytes.get() + 8 * words, kMaskPadding, 0);
}

bool planLetterIndex(const ScanJob& job, int last_skip, JoinMethod method, ScanTeam* team,
                     LetterIndex* index, double* estimated_work) {
  index->text = reinterpret_cast<const unsigned char*>(job.text);
  index->checks.clear();
  index->partners.clear();
  index->cursors.clear();
  ByteCounts& counts = index->letter_counts;
  counts.fill(0);
  const int members = team->size();
  std::array<ByteCounts, kMaxScanThreads> parts;
  std::array<bool, kMaxScanThreads> done{};
  team->run([&](int member) {
    const auto self = static_cast<std::size_t>(member);
    parts[self].fill(0);
    done[self] = countLetters(index->text, static_cast<int>(1LL * job.text_len * member / members),
                              static_cast<int>(1LL * job.text_len * (member + 1) / members),
                              index->positions_per_poll, &parts[self]);
  });
  for (std::size_t k = 0; k < static_cast<std::size_t>(members); ++k) {
    if (!done[k]) return false;
    for (std::size_t value = 0; value < 256; ++value) counts[value] += parts[k][value];
  }
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
  // The masks' work is reckoned in portable steps whatever the width: the
  // choice between the joins was measured so.
  const MaskWidthRow& portable = maskWidthRow(MaskWidth::kPortable);
  const double mask_work =
      starts * rarest / portable.skips * static_cast<double>(portable.step_work);
  const bool pairs =
      method == JoinMethod::kPairs || (method == JoinMethod::kCheapest && pair_work < mask_work);
  index->method = pairs ? JoinMethod::kPairs : JoinMethod::kMasks;
  *estimated_work = std::min(pair_work, mask_work);
  return true;
}

bool buildLetterIndex(const ScanJob& job, ScanTeam* team, LetterIndex* index) {
  Builder builder(job, team, index);
  return index->method == JoinMethod::kPairs ? builder.setUpPairs(index->by_rarity)
                                             : builder.setUpMasks(index->by_rarity);
}
