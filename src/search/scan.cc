#include "search/scan.h"

#include <cstring>

#include "search/hits.h"
#include "util/message.h"

namespace {

constexpr int kMaxScanPattern = 4096;
constexpr int kMarksPerScan = 30;

// Appends the hits of one skip. Returns false when a Ctrl-C stopped the scan,
// which is polled before every start position.
bool scanSkip(const char* text, int text_len, const char* pattern, int pattern_len,
              int skip, Hit** tail, bool* found) {
  const int last_start = text_len - (pattern_len - 1) * skip;
  for (int pos = 1; pos <= last_start; ++pos) {
    if (interrupted != 0) return false;
    const char* first = text + pos - 1;
    if (*first != pattern[0]) continue;
    int k = 1;
    while (k < pattern_len && first[k * skip] == pattern[k]) ++k;
    if (k == pattern_len) {
      appendHit(tail, skip, pos);
      *found = true;
    }
  }
  return true;
}

}  // namespace

int findSequences(int all_skips, const char* pattern, const char* text, Hit* head) {
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
  const int step = max_skip / kMarksPerScan;

  searching = 1;
  bool found_since_mark = false;
  Hit* tail = head;
  for (int skip = 1; skip <= max_skip; ++skip) {
    if (step > 0 && skip % step == 0) {
      errmsg(found_since_mark ? "*" : ".");
      found_since_mark = false;
    }
    if (!scanSkip(text, text_len, pattern, pattern_len, skip, &tail, &found_since_mark)) break;
  }
  searching = 0;
  interrupted = 0;
  return head->skip != -1 ? 1 : 0;
}
