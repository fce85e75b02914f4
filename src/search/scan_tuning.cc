#include "search/scan_tuning.h"

FastScanTuning fastScanTuning = kLongTextTuning;
