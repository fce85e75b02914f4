// Ctrl-C, in one place: the flags that the handler shares with the program,
// the handler and the polls. During a scan Ctrl-C only stops that scan; at
// any other moment it ends the program with status 1, keeping what was
// written, and ends the line on standard error first if that is a terminal.
#ifndef SRC_UTIL_INTERRUPT_H_
#define SRC_UTIL_INTERRUPT_H_

#include <atomic>

// The module flags, 0 or 1, all 0 at start. The handler may run on any thread
// (on Windows it has one of its own) and every thread of a scan polls (up to
// kMaxScanThreads, in search/scan_team.h), so each flag is a lock-free
// atomic.
//
// 1 while a scan runs. Written by the main thread around a scan and read by
// the handler: sequentially consistent, so that the handler sees it set
// before the scan's first poll and cleared before the scan's caller goes on.
extern std::atomic<int> searching;
// Set by the handler during a scan; polled by the scan's threads with relaxed
// loads (it publishes no other data) and cleared by the main thread when the
// scan ends.
extern std::atomic<int> interrupted;
// Set by the handler outside a scan: the next pollInterrupt ends the program,
// if the handler has not ended it already. Sequentially consistent.
extern std::atomic<int> exitPending;
// 1 while the program waits for an input line, with standard output flushed:
// the handler may then end the program at once. Sequentially consistent.
extern std::atomic<int> waitingForInput;

static_assert(std::atomic<int>::is_always_lock_free);

// The SIGINT handler (on Windows, called for the console's Ctrl-C event). While
// a scan runs it sets interrupted. Otherwise it sets exitPending for the next
// pollInterrupt, and ends the program at once, ending the line on a terminal
// (endTerminalLine) and giving the console its mode back, if the program waits
// for input. It touches nothing but the flags, the console's mode, that line
// break and its own installation.
void sigint(int signal_number);

// Installs sigint for Ctrl-C. A write or read that the signal interrupts
// carries on. Safe to call from the handler itself.
void installInterruptHandler();

// True once a Ctrl-C outside a scan asked the program to end (exitPending);
// the console read that Ctrl-C cuts short on Windows asks it.
bool exitRequested();

// Ends the program with status 1 (flushing standard output, then ending the
// line on a terminal) if a Ctrl-C asked for it. Long loops that run outside a
// scan call it now and then.
void pollInterrupt();

// Test hook: when set, called at every scanStopRequested, from any of the
// scan's threads, so that a test can set interrupted at a chosen poll. The
// threads read the pointer without ordering: set it only between scans, and
// make the function safe to call from several threads at once.
extern void (*interruptPollHook)();

// The scan's poll: true once a Ctrl-C asked the running scan to stop.
inline bool scanStopRequested() {
  if (interruptPollHook != nullptr) interruptPollHook();
  return interrupted.load(std::memory_order_relaxed) != 0;
}

// Test hook: when set, called by beginScan just before it sets searching,
// on the thread that runs the scan, so that a test can send a Ctrl-C in the
// moment before a scan. Set it only between scans.
extern void (*scanBeginHook)();

// Brackets a scan: sets searching; then clears searching first (a Ctrl-C
// from there on ends the program instead) and interrupted after it. A Ctrl-C
// that came before searching was set, or that comes after it is cleared,
// ends the program in beginScan or endScan, as at a prompt: a search
// command is never left to scan with a Ctrl-C waiting.
void beginScan();
void endScan();

#endif  // SRC_UTIL_INTERRUPT_H_
