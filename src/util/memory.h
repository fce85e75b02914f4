// Allocation that reports failure itself: an exhausted heap, or a request
// past the memory budget, writes one message and ends the program with
// status 1 (getmem alone may return null, see terminate_size). Blocks go
// back with std::free; every function here may be called from any thread.
#ifndef SRC_UTIL_MEMORY_H_
#define SRC_UTIL_MEMORY_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "util/memory_status.h"

// A failed getmem request of at least this many bytes returns null after its
// message instead of ending the program.
extern int terminate_size;

// Called, when set, just before an allocation failure ends the program.
extern void (*endfun)();

// Returns a block whose first size bytes are zero. On failure tries once more
// with 4000 bytes more; if that fails too, writes
// "\ncannot get the memory of N bytes\n" (or "N K bytes" above 1000 bytes)
// and ends the program, or returns null when size >= terminate_size.
// REQUIRES: size >= 0.
void* getmem(int size);

// Resizes block (from getmem or moremem) to size bytes, keeping its contents
// up to the smaller size; bytes beyond the old size are not cleared. On
// failure tries once more with 1000 bytes more, then writes
// "cannot get the memory of ..." and ends the program. Never returns null;
// the block may move.
void* moremem(void* block, int size);

// The one way out when memory is exhausted, for getmem, moremem and operator
// new alike, from any thread: writes the message for a request of size bytes
// (getmem's form, with its leading newline, when leading_newline is true)
// once, after flushing standard output, calls endfun and ends the process
// with status 1 without running destructors. Takes no memory itself. A
// second thread that gets here meanwhile waits for the end.
[[noreturn]] void memoryExhausted(std::size_t size, bool leading_newline);

// A plain heap block of size bytes (1 for 0) for operator new, or null when
// the heap or the memory budget refuses it. Failing requests are not
// reported here.
void* allocateBlock(std::size_t size);

// True when a request of size bytes is to fail without asking the heap: the
// test hook's failing allocation, or the memory budget. Counts the request.
// For the allocations that differ by platform (util/memory_posix.cc,
// util/memory_windows.cc).
bool allocationRefused(std::size_t size);

// allocateBlock for a block aligned to alignment (a power of two), given back
// with std::free. Not on Windows, whose aligned blocks need a free of their
// own.
void* allocateAlignedBlock(std::size_t size, std::size_t alignment);

// Blocks from this size up are large: allocateLargeBlock aligns them to it.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{2} << 20;

// allocateBlock for a block of kLargeBlockBytes or more whose pages will all
// be written soon: aligned to kLargeBlockBytes where the system has aligned
// blocks, and advised as huge pages (util/platform.h). Given back with
// std::free. Smaller requests get a plain block.
void* allocateLargeBlock(std::size_t size);

// The memory budget. A request is refused when it would leave less than a
// reserve (1/32 of the memory, at least 64 MB but at most a quarter of it)
// of what the system reports available (util/memory_status.h: in a memory
// control group, the memory is the group's limit and what is available is
// what the group still allows, where they are less than the machine's).
// The status is looked at again before every refusal and whenever the bytes
// taken since the last look pass half of the room seen then, so that the
// usual request costs one atomic addition. A limit set on
// the process (ulimit -v) needs no look: the heap itself refuses then.
//
// Test hook: replaces the system's report (null restores it) and forgets
// what was seen so far.
void setMemoryStatusSource(MemoryStatus (*source)());

// What the memory budget would still hand out now, looked at afresh: the
// room above the reserve, or UINT64_MAX where the system does not tell.
std::uint64_t memoryRoom();

// Test hook for fault injection: every request to getmem, moremem and
// operator new is counted from 1 while failingAllocation is above 0, and the
// request of that number and every later one fail as if the heap were
// exhausted.
extern std::atomic<long long> failingAllocation;
extern std::atomic<long long> allocationNumber;

#endif  // SRC_UTIL_MEMORY_H_
