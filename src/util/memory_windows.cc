#include "util/memory.h"

// The runtime's aligned blocks need a free of their own (_aligned_free), and
// every block here is given back with std::free: large blocks are plain ones.
// There is no allocateAlignedBlock.
void* allocateLargeBlock(std::size_t size) { return allocateBlock(size); }
