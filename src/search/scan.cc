#include "search/scan.h"

#include <cstring>

#include "core/hit_list.h"
#include "core/main_info.h"
#include "search/fast_scan.h"
#include "search/scan_job.h"
#include "util/interrupt.h"
#include "util/message.h"

namespace {

constexpr int kMaxScanPattern = 4096;

using Engine = void (*)(const ScanJob& job, HitList* list);

}  // namespace

bool plainScanSkip(const ScanJob& job, int skip, HitList* list, bool* found) {
  const char* text = job.text;
  const char* pattern = job.pattern;
  const int last_start = job.text_len - (job.pattern_len - 1) * skip;
  for (int pos = 1; pos <= last_start; ++pos) {
    if (scanStopRequested()) return false;
    const char* first = text + pos - 1;
    if (*first != pattern[0]) continue;
    int k = 1;
    while (k < job.pattern_len && first[k * skip] == pattern[k]) ++k;
    if (k == job.pattern_len) {
      list->append(skip, pos);
      *found = true;
    }
  }
  return true;
}

namespace {

// Runs every skip of the job in turn with the plain loop. The counter is
// wide, since the highest skip may be the largest int.
void plainScan(const ScanJob& job, HitList* list) {
  bool found_since_mark = false;
  for (long long s = 1; s <= job.max_skip; ++s) {
    const auto skip = static_cast<int>(s);
    if (job.markDue(skip)) {
      writeProgressMark(found_since_mark);
      found_since_mark = false;
    }
    if (!plainScanSkip(job, skip, list, &found_since_mark)) break;
  }
}

// What both engines share: the measuring, the refusals, the job and the
// two flags around the engine's run.
int runScan(int all_skips, const char* pattern, const char* text, HitList* list, Engine engine) {
  const int text_len = static_cast<int>(std::strlen(text));
  const int pattern_len = static_cast<int>(std::strlen(pattern));
  list->clear();
  if (text_len <= 1 || pattern_len <= 1 || text_len <= pattern_len) {
    errmsg("Text string or searching string is too short.\n");
    return 0;
  }
  if (pattern_len >= kMaxScanPattern) {
    errmsg("Searching string is too long(max. is 4096).\n");
    return 0;
  }
  const ScanJob job = scanJob(text, text_len, pattern, pattern_len, all_skips, mainInfo.skipLimit);

  beginScan();
  engine(job, list);
  endScan();
  return list->empty() ? 0 : 1;
}

}  // namespace

int findSequences(int all_skips, const char* pattern, const char* text, HitList* list) {
  return runScan(all_skips, pattern, text, list, fastScan);
}

int findSequencesPlain(int all_skips, const char* pattern, const char* text, HitList* list) {
  return runScan(all_skips, pattern, text, list, plainScan);
}
