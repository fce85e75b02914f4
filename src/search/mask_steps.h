// The widths of the masks' steps: how many skips one step of the masks
// tests, what a step costs and reads, and whether this build and the
// processor can take it, one row per width. A width's instructions are its
// steps struct in mask_step_ops.h, listed there in BuiltWidths; the width
// tests and the fuzz target take their widths from this table, so a new
// width is a row here and a struct there.
#ifndef SRC_SEARCH_MASK_STEPS_H_
#define SRC_SEARCH_MASK_STEPS_H_

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "util/cpu_features.h"

// The widths, by the instructions that a step takes; in the order of the
// rows of kMaskStepWidths, narrowest first.
enum class MaskStep {
  kPlain,   // 56, in 64-bit integers
  kAvx2,    // 256, in AVX2 vectors
  kAvx512,  // 512, in AVX-512 vectors with the VBMI2 double shifts
};

struct MaskStepWidth {
  MaskStep step;
  int skips;                // skips that one step tests
  long long work;           // a step's cost in units of one screened pair,
                            // measured on an English text
  int bytes_read;           // bytes that a step reads of a map, from the
                            // byte of its first bit on
  bool built;               // this build holds the step's instructions
  bool (*processor_has)();  // whether the processor has them; null for
                            // every processor
  const char* lacking;      // why a processor without them cannot take it
};

inline constexpr MaskStepWidth kMaskStepWidths[] = {
    // 8 bytes shifted by at most 7 bits leave 57 good bits, of which 56 (7
    // whole bytes) are used.
    {MaskStep::kPlain, 56, 2, 8, true, nullptr, nullptr},
    // Each 64-bit lane takes its 8 bytes and the next lane's.
    {MaskStep::kAvx2, 256, 4, 32 + 8, ELSSCAN_X86_VECTORS != 0, cpuHasAvx2,
     "the processor lacks AVX2"},
    {MaskStep::kAvx512, 512, 6, 64 + 8, ELSSCAN_X86_VECTORS != 0, cpuHasAvx512Vbmi2,
     "the processor lacks AVX-512 with VBMI2"},
};

inline constexpr std::size_t kMaskStepCount = std::size(kMaskStepWidths);

// The row of a width.
constexpr const MaskStepWidth& maskStepWidth(MaskStep step) {
  return kMaskStepWidths[static_cast<std::size_t>(step)];
}

// Bytes after the last bit of a map that a step of any width may read.
inline constexpr int kMaskPadding = [] {
  int most = 0;
  for (const MaskStepWidth& width : kMaskStepWidths) most = std::max(most, width.bytes_read);
  return most;
}();

// Null when this build and the processor take steps of the given width;
// else why they do not, in a few words ("the processor lacks AVX2"). Safe
// from any thread.
const char* maskStepMissing(MaskStep step);

// The widest steps that widest allows and that this build and the
// processor take; the plain steps at least.
MaskStep widestMaskStep(MaskStep widest);

#endif  // SRC_SEARCH_MASK_STEPS_H_
