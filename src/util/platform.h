// The few calls that differ between Windows and Unix-like systems: files,
// and advice on memory blocks (the memory status is util/memory_status.h).
#ifndef SRC_UTIL_PLATFORM_H_
#define SRC_UTIL_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

// True when path names an existing regular file: not a directory, a device or
// a pipe. On Windows a name that the system maps to a device (NUL, CON, COM1,
// also as "nul.txt") is a device wherever it stands, and is never opened.
bool isRegularFile(const char* path);

// Asks the system, through the open file's own handle, whether file is a
// regular file and how many bytes it holds. True and *size when it is; false
// when it is not a regular file or the system does not tell. The file may
// still grow or shrink afterwards.
bool regularFileSize(std::FILE* file, std::uint64_t* size);

// Moves file's position to offset bytes from its start, beyond 2 GB too.
// False when the system refuses.
bool seekFile(std::FILE* file, std::uint64_t offset);

// Tells the system that the pages of [block, block + size) will all be
// written soon, so that it may back them with huge pages and spare most of
// their page faults (Linux: madvise MADV_HUGEPAGE, which the system may
// ignore). Elsewhere it does nothing.
void adviseHugePages(void* block, std::size_t size);

#endif  // SRC_UTIL_PLATFORM_H_
