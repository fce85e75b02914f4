#include "search/scan.h"

#include <cstring>

#include "search/fast_scan.h"
#include "search/hits.h"
#include "search/scan_job.h"
#include "util/interrupt.h"
#include "util/message.h"

namespace {

constexpr int kMaxScanPattern = 4096;
constexpr int kMarksPerScan = 30;

using Engine = void (*)(const ScanJob& job, Hit* head);

// Runs every skip of the job in turn with the plain loop.
void plainScan(const ScanJob& job, Hit* head) {
  bool found_since_mark = false;
  Hit* tail = head;
  for (int skip = 1; skip <= job.max_skip; ++skip) {
    if (job.markDue(skip)) {
      writeProgressMark(found_since_mark);
      found_since_mark = false;
    }
    if (!plainScanSkip(job, skip, &tail, &found_since_mark)) break;
  }
}

// What both engines share: the measuring, the refusals, the highest skip,
// the mark step and the two flags around the engine's run.
int runScan(int all_skips, const char* pattern, const char* text, Hit* head, Engine engine) {
  const int text_len = static_cast<int>(std::strlen(text));
  const int pattern_len = static_cast<int>(std::strlen(pattern));
  head->next = nullptr;
  head->skip = -1;
  if (text_len <= 1 || pattern_len <= 1 || text_len <= pattern_len) {
    errmsg("Text string or searching string is too short.\n");
    return 0;
  }
  if (pattern_len >= kMaxScanPattern) {
    errmsg("Searching string is too long(max. is 4096).\n");
    return 0;
  }
  // Past this skip the sequence no longer fits in the text.
  int max_skip = text_len / (pattern_len - 1);
  if (all_skips == 0 && max_skip > mainInfo.skipLimit) max_skip = mainInfo.skipLimit;
  const ScanJob job = {text, text_len, pattern, pattern_len, max_skip, max_skip / kMarksPerScan};

  beginScan();
  engine(job, head);
  endScan();
  return head->skip != -1 ? 1 : 0;
}

}  // namespace

void writeProgressMark(bool found_since_mark) { errmsg(found_since_mark ? "*" : "."); }

bool plainScanSkip(const ScanJob& job, int skip, Hit** tail, bool* found) {
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
      appendHit(tail, skip, pos);
      *found = true;
    }
  }
  return true;
}

int findSequences(int all_skips, const char* pattern, const char* text, Hit* head) {
  return runScan(all_skips, pattern, text, head, fastScan);
}

int findSequencesPlain(int all_skips, const char* pattern, const char* text, Hit* head) {
  return runScan(all_skips, pattern, text, head, plainScan);
}
