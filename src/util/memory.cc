#include "util/memory.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "util/message.h"
#include "util/process_exit.h"

int terminate_size = INT_MAX;
void (*endfun)() = nullptr;
std::atomic<long long> failingAllocation = 0;
std::atomic<long long> allocationNumber = 0;

namespace {

// The least part of the memory that the budget leaves alone, where that is
// no more than a quarter of it.
constexpr std::uint64_t kMinReserve = std::uint64_t{64} << 20;

// What the budget leaves alone of memory bytes: 1/32, at least kMinReserve,
// but never more than a quarter. In a memory control group, memory is the
// group's limit: reckoned on the machine, a group of 1 GB on a machine of
// 24 GB would keep 768 MB back. What a group's reserve is for (page tables,
// stacks, what was taken between two looks) grows with what the group may
// use, not with the machine; and 64 MB in full would leave a group of
// 64 MB nothing, where the program ran before it looked at groups. A machine
// of 256 MB or more keeps the reserve it always had.
std::uint64_t reserveOf(std::uint64_t memory) {
  return std::max(std::min(kMinReserve, memory / 4), memory / 32);
}

// 1 once a thread has begun the exhaustion report.
std::atomic<int> exhausted = 0;
// Set on the thread that reports, so that a failure within the report
// (endfun allocating, say) ends the process instead of waiting on itself.
thread_local bool reporting = false;

// Budget state. takenSinceLook grows by every request (relaxed: it is only
// an estimate that decides when to look again); the rest is written under
// budgetLock. nextLook is 0 before the first look.
std::atomic<std::uint64_t> takenSinceLook = 0;
std::atomic<std::uint64_t> nextLook = 0;
std::mutex budgetLock;
MemoryStatus (*statusSource)() = availableMemory;

// Looks at the system's report and says whether size bytes more leave the
// reserve untouched; plans the next look at half of the room that is left.
bool lookAtBudget(std::uint64_t size) {
  const std::lock_guard<std::mutex> hold(budgetLock);
  const MemoryStatus status = statusSource();
  if (!status.known) {
    nextLook = UINT64_MAX;
    return true;
  }
  const std::uint64_t reserve = reserveOf(status.total);
  if (status.available < reserve || size > status.available - reserve) return false;
  takenSinceLook = 0;
  nextLook = std::max<std::uint64_t>((status.available - reserve - size) / 2, 1);
  return true;
}

bool budgetAllows(std::uint64_t size) {
  const std::uint64_t taken = takenSinceLook.fetch_add(size, std::memory_order_relaxed) + size;
  if (taken < nextLook.load(std::memory_order_relaxed)) return true;
  return lookAtBudget(size);
}

// "\ncannot get the memory of N bytes\n" and its other forms, into out,
// without the heap. Returns the length.
std::size_t formatExhaustion(char (&out)[80], std::size_t size, bool leading_newline) {
  char* p = out;
  if (leading_newline) *p++ = '\n';
  const char* const kText = "cannot get the memory of ";
  p = std::strcpy(p, kText) + std::strlen(kText);
  const std::size_t k = size / 1000;
  const std::size_t shown = size <= 1000 ? size : (k > INT_MAX ? INT_MAX : k);
  p += std::snprintf(p, 24, "%d", static_cast<int>(shown));
  const char* const kUnit = size <= 1000 ? " bytes\n" : " K bytes\n";
  p = std::strcpy(p, kUnit) + std::strlen(kUnit);
  return static_cast<std::size_t>(p - out);
}

}  // namespace

bool allocationRefused(std::size_t size) {
  if (failingAllocation.load(std::memory_order_relaxed) > 0 &&
      allocationNumber.fetch_add(1) + 1 >= failingAllocation.load()) {
    return true;
  }
  return !budgetAllows(size);
}

void memoryExhausted(std::size_t size, bool leading_newline) {
  if (reporting) endProcess(1);
  reporting = true;
  if (exhausted.exchange(1) != 0) {
    // Another thread reports and ends the process.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  char message[80];
  const std::size_t length = formatExhaustion(message, size, leading_newline);
  // What the main thread wrote to standard output waits in its buffer; the
  // main thread writes nothing while the scan's threads run.
  flushPendingOutput();
  std::fflush(stdout);
  writeOut(messageStream(), message, length);
  if (endfun != nullptr) endfun();
  flushPendingOutput();
  std::fflush(stdout);
  // Destructors and exit handlers could run under another thread's feet.
  endProcess(1);
}

void* allocateBlock(std::size_t size) {
  if (allocationRefused(size)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* getmem(int size) {
  const auto bytes = static_cast<std::size_t>(size < 0 ? 0 : size);
  void* block = nullptr;
  if (!allocationRefused(bytes)) {
    block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) block = std::malloc(bytes + 4000);
  }
  if (block != nullptr) {
    std::memset(block, 0, bytes);
    return block;
  }
  if (size >= terminate_size) {
    char message[80];
    writeOut(messageStream(), message, formatExhaustion(message, bytes, true));
    return nullptr;
  }
  memoryExhausted(bytes, true);
}

void* moremem(void* block, int size) {
  const auto bytes = static_cast<std::size_t>(size < 0 ? 0 : size);
  void* grown = nullptr;
  if (!allocationRefused(bytes)) {
    grown = std::realloc(block, bytes == 0 ? 1 : bytes);
    if (grown == nullptr) grown = std::realloc(block, bytes + 1000);
  }
  if (grown == nullptr) memoryExhausted(bytes, false);
  return grown;
}

std::uint64_t memoryRoom() {
  const std::lock_guard<std::mutex> hold(budgetLock);
  const MemoryStatus status = statusSource();
  if (!status.known) return UINT64_MAX;
  const std::uint64_t reserve = reserveOf(status.total);
  return status.available > reserve ? status.available - reserve : 0;
}

void setMemoryStatusSource(MemoryStatus (*source)()) {
  const std::lock_guard<std::mutex> hold(budgetLock);
  statusSource = source != nullptr ? source : availableMemory;
  takenSinceLook = 0;
  nextLook = 0;
}
