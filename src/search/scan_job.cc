#include "search/scan_job.h"

#include "util/message.h"

ScanJob scanJob(const char* text, int text_len, const char* pattern, int pattern_len, int all_skips,
                int skip_limit) {
  // Past this skip the sequence no longer fits in the text (the bound
  // counts one skip too many when the string's spacing divides the text's
  // length; that skip has no start position but counts for the marks).
  int max_skip = text_len / (pattern_len - 1);
  if (all_skips == 0 && max_skip > skip_limit) max_skip = skip_limit;
  return {text, text_len, pattern, pattern_len, max_skip, max_skip / kMarksPerScan};
}

void writeProgressMark(bool found_since_mark) { errmsg(found_since_mark ? "*" : "."); }
