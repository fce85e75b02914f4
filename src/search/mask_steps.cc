#include "search/mask_steps.h"

// maskWidthRow finds a width's row by the width's value.
static_assert([] {
  for (std::size_t k = 0; k < kMaskWidthCount; ++k) {
    if (kMaskWidths[k].width != static_cast<MaskWidth>(k)) return false;
  }
  return true;
}());

const char* maskWidthMissing(MaskWidth width) {
  const MaskWidthRow& row = maskWidthRow(width);
  if (!row.built) return "this build has only the portable steps";
  if (row.processor_has != nullptr && !row.processor_has()) return row.lacking;
  return nullptr;
}

MaskWidth widestMaskWidth(MaskWidth widest) {
  for (auto k = static_cast<std::size_t>(widest); k > 0; --k) {
    if (maskWidthMissing(kMaskWidths[k].width) == nullptr) return kMaskWidths[k].width;
  }
  return kMaskWidths[0].width;
}
