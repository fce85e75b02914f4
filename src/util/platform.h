// The few calls that differ between Windows and Unix-like systems.
#ifndef SRC_UTIL_PLATFORM_H_
#define SRC_UTIL_PLATFORM_H_

// True when path names an existing regular file (not a directory, device or
// pipe).
bool isRegularFile(const char* path);

#endif  // SRC_UTIL_PLATFORM_H_
