// The program's operator new and delete: the standard containers allocate
// through them, so they take the same memory budget and end in the same
// report as getmem. Builds under a sanitizer that brings its own operators
// leave this file out. The forms for over-aligned types are in
// new_delete_posix.cc: on Windows they stay the runtime's, whose aligned
// blocks need a free of their own.
#include <cstdlib>
#include <new>

#include "util/memory.h"

void* operator new(std::size_t size) {
  void* block = allocateBlock(size);
  if (block == nullptr) memoryExhausted(size, true);
  return block;
}

void* operator new[](std::size_t size) { return ::operator new(size); }
// Callers of the nothrow forms handle a null result themselves.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateBlock(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocateBlock(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
