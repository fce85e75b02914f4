// Allocation that never fails to the caller: getmem and moremem report an
// exhausted heap through errmsg and end the program with status 1, so a
// pointer they return is always usable. Blocks are ordinary heap blocks and
// are given back with std::free.
#ifndef SRC_UTIL_MEMORY_H_
#define SRC_UTIL_MEMORY_H_

#include <cstddef>

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

// Writes the exhaustion message for a request of size bytes (getmem's form,
// with its leading newline, when leading_newline is true), calls endfun and
// ends the program with status 1. Every allocation path of the program ends
// here, operator new included.
[[noreturn]] void memoryExhausted(std::size_t size, bool leading_newline);

#endif  // SRC_UTIL_MEMORY_H_
