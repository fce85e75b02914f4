// What the system says about the memory this process may use, which the
// memory budget (util/memory.h) looks at: on Linux from /proc/meminfo and
// the process's memory control groups, on Windows from the system's memory
// status.
#ifndef SRC_UTIL_MEMORY_STATUS_H_
#define SRC_UTIL_MEMORY_STATUS_H_

#include <cstdint>

// What the system says about the memory this process may use, in bytes.
struct MemoryStatus {
  bool known;               // false where the system does not tell
  std::uint64_t available;  // what it can still hand out without swapping
  std::uint64_t total;      // all of the memory, or the limit of its group
};

// Reads the memory status. On Linux: MemAvailable and MemTotal of
// /proc/meminfo, each lowered to what the process's memory control groups
// allow where they do (version 1 or 2, the process's own group and those
// above it, up to where the hierarchy is mounted): available to the least
// room that a group's limit leaves, counting as room the group's page cache
// that the system can take back (its clean file pages, inactive and active,
// less a small share of the limit that the system keeps), and total to the
// least limit. "max" or a missing file is no
// limit. On Windows: the available and total physical memory. Takes no
// memory from the heap, so that the allocators may call it.
MemoryStatus availableMemory();

// availableMemory with every file read under root instead of "/" (a test's
// fake proc/ and cgroup folders); root is a path without a trailing slash,
// "" for the system's own files. On Windows root is not used.
MemoryStatus availableMemoryUnder(const char* root);

#endif  // SRC_UTIL_MEMORY_STATUS_H_
