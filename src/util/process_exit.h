// The one way out of the process that skips the exit handlers: for the
// Ctrl-C handler, the exhaustion report and a failed write, which end the
// program where destructors, exit handlers or stream flushes could run under
// another thread's feet, take memory or write again.
#ifndef SRC_UTIL_PROCESS_EXIT_H_
#define SRC_UTIL_PROCESS_EXIT_H_

// Ends the process at once with status: gives the console its own mode back
// (restoreConsole), writes the coverage counters in a coverage build, and
// calls std::_Exit. Flushes no stream and runs no exit handler: whatever a
// caller wants written, it writes first. Takes no memory from the heap, and
// is safe from the Ctrl-C handler.
[[noreturn]] void endProcess(int status);

#endif  // SRC_UTIL_PROCESS_EXIT_H_
