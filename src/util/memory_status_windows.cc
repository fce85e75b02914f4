#include <windows.h>

#include "util/memory_status.h"

MemoryStatus availableMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return {false, 0, 0};
  return {true, status.ullAvailPhys, status.ullTotalPhys};
}

// Windows has no memory control groups, and no files to read them from.
MemoryStatus availableMemoryUnder(const char* /*root*/) { return availableMemory(); }
