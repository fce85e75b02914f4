// What one scan works on, shared by the plain loop and the joined scan: the
// measured text and string, the range of skips and where the progress marks
// fall, made by scanJob alone; and the progress mark that both write.
#ifndef SRC_SEARCH_SCAN_JOB_H_
#define SRC_SEARCH_SCAN_JOB_H_

#include <climits>

// Progress marks that a scan of 30 skips or more writes.
inline constexpr int kMarksPerScan = 30;

struct ScanJob {
  const char* text;  // NUL-terminated; positions below are 0-based into it
  int text_len;      // above pattern_len
  const char* pattern;
  int pattern_len;    // 2 to 4095
  int max_skip;       // highest skip tried; the scan tries none when below 1
  int mark_interval;  // a mark comes before every skip that is a multiple
                      // of it; 0 or below: no marks at all

  // Highest skip at which the whole sequence fits at one start position or
  // more; every skip up to it has start positions 1 to
  // text_len - (pattern_len - 1) x skip, and the skips above it have none.
  int lastFittingSkip() const { return (text_len - 1) / (pattern_len - 1); }

  // True when a progress mark comes right before skip.
  bool markDue(int skip) const { return mark_interval > 0 && skip % mark_interval == 0; }

  // The first skip above skip (0 or more) before which a mark comes, or
  // LLONG_MAX when marks never come: a loop over many skips steps from one
  // mark to the next instead of asking markDue at every skip.
  long long nextMark(int skip) const {
    return mark_interval > 0 ? (skip / mark_interval + 1) * static_cast<long long>(mark_interval)
                             : LLONG_MAX;
  }
};

// The job of a search for pattern (pattern_len bytes, 2 or more) in text
// (text_len bytes): skips up to text_len / (pattern_len - 1), lowered to
// skip_limit unless all_skips is non-zero, and a mark every
// max_skip / kMarksPerScan skips. The program, its tests and the benchmark
// all take a search's skips from here.
ScanJob scanJob(const char* text, int text_len, const char* pattern, int pattern_len, int all_skips,
                int skip_limit);

// Writes one progress mark: "*" when a hit was appended since the previous
// mark, else ".".
void writeProgressMark(bool found_since_mark);

#endif  // SRC_SEARCH_SCAN_JOB_H_
