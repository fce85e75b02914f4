#include "search/scan_tuning.h"

FastScanTuning fastScanTuning = {JoinMethod::kCheapest,
                                 maskStepWidth(MaskStep::kPlain).skips,
                                 1 << 13,
                                 1LL << 28,
                                 1LL << 18,
                                 1LL << 22,
                                 0,
                                 kMaskStepWidths[kMaskStepCount - 1].step,
                                 kMaxPairsPerBatch,
                                 kPositionsPerPoll};
