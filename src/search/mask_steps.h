// The widths of the masks' steps, one row each: how many skips one step of
// the masks tests, what it costs and reads, and whether this build and the
// processor can take it. Everything that names a width (the join, the tests,
// the fuzz target, the benchmark and its scripts) reads it from this table.
#ifndef SRC_SEARCH_MASK_STEPS_H_
#define SRC_SEARCH_MASK_STEPS_H_

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "util/cpu_features.h"

// The widths, by the instructions that a step takes; in the order of the
// rows of kMaskWidths, narrowest first. A width's instructions are its
// steps struct in mask_step_ops.h.
enum class MaskWidth {
  kPortable,  // 56, in 64-bit integers, on any processor
  kAvx2,      // 256, in AVX2 vectors
  kAvx512,    // 512, in AVX-512 vectors with the VBMI2 double shifts
};

struct MaskWidthRow {
  MaskWidth width;
  int skips;                // skips that one step tests
  long long step_work;      // a step's cost, in units of one screened pair
                            // (see kAnchorWork)
  int bytes_read;           // bytes that a step reads of a map, from the
                            // byte of its first bit on
  bool built;               // this build holds the step's instructions
  bool (*processor_has)();  // whether the processor has them; null for
                            // every processor
  const char* lacking;      // why a processor without them cannot take it
};

inline constexpr MaskWidthRow kMaskWidths[] = {
    // 8 bytes shifted by at most 7 bits leave 57 good bits, of which 56 (7
    // whole bytes) are used.
    {.width = MaskWidth::kPortable,
     .skips = 56,
     .step_work = 2,
     .bytes_read = 8,
     .built = true,
     .processor_has = nullptr,
     .lacking = nullptr},
    // Each 64-bit lane takes its 8 bytes and the next lane's.
    {.width = MaskWidth::kAvx2,
     .skips = 256,
     .step_work = 4,
     .bytes_read = 32 + 8,
     .built = ELSSCAN_X86_VECTORS != 0,
     .processor_has = cpuHasAvx2,
     .lacking = "the processor lacks AVX2"},
    {.width = MaskWidth::kAvx512,
     .skips = 512,
     .step_work = 6,
     .bytes_read = 64 + 8,
     .built = ELSSCAN_X86_VECTORS != 0,
     .processor_has = cpuHasAvx512Vbmi2,
     .lacking = "the processor lacks AVX-512 with VBMI2"},
};

inline constexpr std::size_t kMaskWidthCount = std::size(kMaskWidths);

// The other costs of the join, in the same units, measured on an English
// text as the steps' were: setting an anchor up for a block of masks, and
// confirming a hit (by either join).
inline constexpr long long kAnchorWork = 8;
inline constexpr long long kHitWork = 8;

// The row of a width.
constexpr const MaskWidthRow& maskWidthRow(MaskWidth width) {
  return kMaskWidths[static_cast<std::size_t>(width)];
}

// Bytes after the last bit of a map that a step of any width may read.
inline constexpr int kMaskPadding = [] {
  int most = 0;
  for (const MaskWidthRow& row : kMaskWidths) most = std::max(most, row.bytes_read);
  return most;
}();

// Null when this build and the processor take steps of the given width;
// else why they do not, in a few words ("the processor lacks AVX2"). Safe
// from any thread.
const char* maskWidthMissing(MaskWidth width);

// The widest width up to widest that this build and the processor take;
// the portable one at least. The joined scan takes this one.
MaskWidth widestMaskWidth(MaskWidth widest);

#endif  // SRC_SEARCH_MASK_STEPS_H_
