#include <algorithm>
#include <cstdlib>

#include "util/memory.h"
#include "util/platform.h"

void* allocateAlignedBlock(std::size_t size, std::size_t alignment) {
  if (allocationRefused(size)) return nullptr;
  // The size must be a multiple of the alignment.
  const std::size_t rounded =
      (std::max<std::size_t>(size, 1) + alignment - 1) / alignment * alignment;
  return rounded < size ? nullptr : std::aligned_alloc(alignment, rounded);
}

void* allocateLargeBlock(std::size_t size) {
  if (size < kLargeBlockBytes) return allocateBlock(size);
  void* block = allocateAlignedBlock(size, kLargeBlockBytes);
  if (block != nullptr) adviseHugePages(block, size);
  return block;
}
