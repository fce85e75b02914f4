#include "util/memory.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "util/message.h"

int terminate_size = INT_MAX;
void (*endfun)() = nullptr;

namespace {

void reportExhaustion(std::size_t size, bool leading_newline) {
  const char* nl = leading_newline ? "\n" : "";
  if (size <= 1000) {
    errmsg("%scannot get the memory of %d bytes\n", nl, static_cast<int>(size));
  } else {
    const std::size_t k = size / 1000;
    errmsg("%scannot get the memory of %d K bytes\n", nl,
           k > INT_MAX ? INT_MAX : static_cast<int>(k));
  }
}

}  // namespace

void memoryExhausted(std::size_t size, bool leading_newline) {
  reportExhaustion(size, leading_newline);
  if (endfun != nullptr) endfun();
  std::exit(1);
}

void* getmem(int size) {
  const auto bytes = static_cast<std::size_t>(size < 0 ? 0 : size);
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) block = std::malloc(bytes + 4000);
  if (block != nullptr) {
    std::memset(block, 0, bytes);
    return block;
  }
  if (size >= terminate_size) {
    reportExhaustion(bytes, true);
    return nullptr;
  }
  memoryExhausted(bytes, true);
}

void* moremem(void* block, int size) {
  const auto bytes = static_cast<std::size_t>(size < 0 ? 0 : size);
  void* grown = std::realloc(block, bytes == 0 ? 1 : bytes);
  if (grown == nullptr) grown = std::realloc(block, bytes + 1000);
  if (grown == nullptr) memoryExhausted(bytes, false);
  return grown;
}

// The standard containers allocate through operator new; routing it through
// the same report keeps the promise that every exhausted allocation ends the
// program with the memory message and status 1.
void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) memoryExhausted(size, true);
  return block;
}

void* operator new[](std::size_t size) { return ::operator new(size); }
// Callers of the nothrow forms handle a null result themselves.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
