// The few calls that differ between Windows and Unix-like systems.
#ifndef SRC_UTIL_PLATFORM_H_
#define SRC_UTIL_PLATFORM_H_

// True when path names an existing regular file: not a directory, a device or
// a pipe. On Windows a name that the system maps to a device (NUL, CON, COM1,
// also as "nul.txt") is a device wherever it stands, and is never opened.
bool isRegularFile(const char* path);

#endif  // SRC_UTIL_PLATFORM_H_
