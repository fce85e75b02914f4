#include "search/mask_steps.h"

// maskStepWidth finds a width's row by the width's value.
static_assert([] {
  for (std::size_t k = 0; k < kMaskStepCount; ++k) {
    if (kMaskStepWidths[k].step != static_cast<MaskStep>(k)) return false;
  }
  return true;
}());

const char* maskStepMissing(MaskStep step) {
  const MaskStepWidth& width = maskStepWidth(step);
  if (!width.built) return "this build has only the 56-skip steps";
  if (width.processor_has != nullptr && !width.processor_has()) return width.lacking;
  return nullptr;
}

MaskStep widestMaskStep(MaskStep widest) {
  for (auto k = static_cast<std::size_t>(widest); k > 0; --k) {
    if (maskStepMissing(kMaskStepWidths[k].step) == nullptr) return kMaskStepWidths[k].step;
  }
  return kMaskStepWidths[0].step;
}
