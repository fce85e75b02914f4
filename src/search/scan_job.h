// What one scan works on, shared by the plain loop and the joined scan: the
// measured text and string, the highest skip and the progress-mark step,
// and the progress mark that both engines write.
#ifndef SRC_SEARCH_SCAN_JOB_H_
#define SRC_SEARCH_SCAN_JOB_H_

#include <climits>

struct ScanJob {
  const char* text;  // NUL-terminated; positions below are 0-based into it
  int text_len;      // above pattern_len
  const char* pattern;
  int pattern_len;  // 2 to 4095
  int max_skip;     // highest skip tried; the scan tries none when below 1
  int mark_step;    // a mark comes before every skip that is a multiple of
                    // it; 0 or below: no marks at all

  // Highest skip at which the whole sequence fits at one start position or
  // more; every skip up to it has start positions 1 to
  // text_len - (pattern_len - 1) x skip, and the skips above it have none.
  int lastFittingSkip() const { return (text_len - 1) / (pattern_len - 1); }

  // True when a progress mark comes right before skip.
  bool markDue(int skip) const { return mark_step > 0 && skip % mark_step == 0; }

  // The first skip above skip (0 or more) before which a mark comes, or
  // LLONG_MAX when marks never come: a loop over many skips steps from one
  // mark to the next instead of asking markDue at every skip.
  long long nextMark(int skip) const {
    return mark_step > 0 ? (skip / mark_step + 1) * static_cast<long long>(mark_step) : LLONG_MAX;
  }
};

// Writes one progress mark: "*" when a hit was appended since the previous
// mark, else ".".
void writeProgressMark(bool found_since_mark);

#endif  // SRC_SEARCH_SCAN_JOB_H_
