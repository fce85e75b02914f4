// The fast scan against the plain loop on any text, search string, skip
// bound and tuning: both must give the same result, the same hits in the
// same order and the same progress marks.
//
// Input: byte 0 picks the join method, the thread switch, the number of
// threads and, with the high bit of byte 1, the widest steps of the masks
// (a row of their table), bytes 1 and 2 the block sizes and the hits a
// block aims at, byte 3 the skip bound (0: all skips), byte 4 the length of
// the search string, byte 5 the sizes that only long texts outgrow at their
// own values (pairs per batch, hits per chunk of the list, positions between
// polls); the string follows, and the text is the rest.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/hit_list.h"
#include "core/main_info.h"
#include "search/fast_scan.h"
#include "search/letter_index.h"
#include "search/mask_steps.h"
#include "search/scan.h"
#include "search/scan_tuning.h"
#include "util/message.h"
#include "util/scoped_tuning.h"

namespace {

struct Outcome {
  int result;
  std::vector<std::pair<int, int>> hits;
  std::string marks;
};

// The marks go to standard output (errfp), which is a file of this process.
std::string takeMarks() {
  std::fflush(stdout);
  std::string marks;
  char buffer[4096];
  off_t at = 0;
  for (ssize_t n; (n = pread(1, buffer, sizeof buffer, at)) > 0; at += n) {
    marks.append(buffer, static_cast<std::size_t>(n));
  }
  if (ftruncate(1, 0) != 0 || lseek(1, 0, SEEK_SET) != 0) std::abort();
  return marks;
}

Outcome run(int (*scan)(int, const char*, const char*, HitList*), int all_skips,
            const std::string& pattern, const std::string& text, int chunk_shift) {
  HitList list(chunk_shift);
  list.append(7, 7);  // a stale hit, which the scan drops
  Outcome out;
  out.result = scan(all_skips, pattern.c_str(), text.c_str(), &list);
  out.marks = takeMarks();
  for (int index = 0; index < list.count(); ++index) {
    out.hits.emplace_back(list.at(index).skip, list.at(index).pos);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr || dup2(fileno(file), 1) < 0) std::abort();
  errfp = kErrfpStdout;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  static constexpr JoinMethod kMethods[] = {JoinMethod::kCheapest, JoinMethod::kPairs,
                                            JoinMethod::kMasks};
  const ScopedTuning tuning(&fastScanTuning);
  tuning->method = kMethods[data[0] % 3];
  tuning->parallel_work = (data[0] & 0x80) != 0 ? 0 : 1LL << 40;
  tuning->threads = 1 + (data[0] >> 4 & 3);
  const int width = (data[0] >> 6 & 1) + (data[1] >> 7 & 1);
  tuning->widest_mask = kMaskWidths[static_cast<std::size_t>(width) % kMaskWidthCount].width;
  tuning->min_block_skips = 1;
  tuning->max_block_skips = 1 + data[1];
  tuning->block_work = data[2] == 255 ? 1LL << 30 : 1 + data[2] * 4;
  tuning->block_hits = data[2] == 255 ? 1LL << 30 : 1 + data[2] / 4;
  const int batch = data[5] & 7;
  tuning->pairs_per_batch = batch == 7 ? kMaxPairsPerBatch : 1 + batch;
  const int chunk_shift = (data[5] >> 3 & 7) == 7 ? HitList::kChunkShift : data[5] >> 3 & 7;
  const int poll = data[5] >> 6;
  tuning->positions_per_poll = poll == 3 ? kPositionsPerPoll : 1 << (2 * poll);
  resetMainInfo();
  const int all_skips = data[3] == 0 ? 1 : 0;
  mainInfo.skipLimit = data[3];
  const std::size_t pattern_len = std::min<std::size_t>(data[4], size - 6);
  // Both are read as C strings, so each ends at its first NUL.
  const std::string pattern(reinterpret_cast<const char*>(data + 6), pattern_len);
  const std::string text(reinterpret_cast<const char*>(data + 6 + pattern_len),
                         size - 6 - pattern_len);

  const Outcome plain = run(findSequencesPlain, all_skips, pattern, text, chunk_shift);
  const Outcome fast = run(findSequences, all_skips, pattern, text, chunk_shift);
  if (fast.result != plain.result || fast.hits != plain.hits || fast.marks != plain.marks) {
    std::fprintf(stderr, "fast scan differs: %zu / %zu hits, marks \"%s\" / \"%s\"\n",
                 fast.hits.size(), plain.hits.size(), fast.marks.c_str(), plain.marks.c_str());
    std::abort();
  }
  return 0;
}
