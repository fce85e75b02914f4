// Runs a program as a child process with its standard streams on pipes, so
// that a test or the benchmark can feed it lines, watch what it writes, stop
// it as Ctrl-C does, and collect its exit status and what it cost. One
// interface for every system: child_process_posix.h and
// child_process_windows.h implement it, and this header includes the one the
// system needs. It needs no GoogleTest, so that the benchmark can use it.
#ifndef TESTS_UNIT_CHILD_PROCESS_H_
#define TESTS_UNIT_CHILD_PROCESS_H_

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#include <sys/types.h>
#endif

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // The child's standard input: a pipe that write() feeds; on POSIX also
  // such a pipe that the child finds non-blocking, the root folder, or none;
  // or this process's own standard input (a console, say), which write()
  // cannot feed.
  enum class Input { kPipe, kNonBlockingPipe, kDirectory, kClosed, kInherited };

  // The child's standard output and error: two pipes; one pipe for both, in
  // the order written, which out() holds; or this process's own standard
  // output and error (a console, say), which the child writes to directly.
  // On POSIX also pipes that the child finds non-blocking, as a parent
  // program may hand them; or standard error a pseudo-terminal in raw mode,
  // so that the child finds a terminal there and the test reads the bytes as
  // they were written (no line break turned into CR LF).
  enum class Output { kPipes, kOnePipe, kInherited, kNonBlockingPipes, kErrorTerminal };

  // Where the child's console is, on Windows: this process's console (if it
  // has one), or a new console of its own, as after a double click. POSIX
  // has no consoles and takes kShared only.
  enum class Console { kShared, kOwn };

  // Starts argv[0] with the arguments argv[1]..., in a process group of its
  // own on Windows (so that interrupt() reaches it alone). A combination
  // that the system lacks starts nothing. started() tells whether it ran.
  explicit ChildProcess(const std::vector<std::string>& argv, Input input = Input::kPipe,
                        Output output = Output::kPipes, Console console = Console::kShared);

#if !defined(_WIN32)
  // Runs run() in a copy of this process, which then ends with its result
  // through std::exit, as a program's main would. Only for a test process
  // that runs no other thread. POSIX only.
  explicit ChildProcess(const std::function<int()>& run, Output output = Output::kPipes);
#endif

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // A child still running is killed; the pipes are closed.
  ~ChildProcess();

  bool started() const;

  // What the child wrote so far: standard output (both streams with
  // Output::kOnePipe), and standard error.
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

  // Writes bytes to the child's standard input; false if it cannot take them.
  bool write(std::string_view bytes);
  void closeInput();

  // Ctrl-C: SIGINT on POSIX; on Windows a console Ctrl-C event to the
  // child's process group, which needs a console that both share. False if
  // it could not be sent.
  bool interrupt();

  // Collects output until done() holds or the timeout passes; returns done().
  bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Collects output until out() (or err()) holds text at least count times.
  bool waitForOutput(std::string_view text, int count, std::chrono::milliseconds timeout) {
    return waitFor([&] { return occurrences(out_, text) >= count; }, timeout);
  }
  bool waitForError(std::string_view text, int count, std::chrono::milliseconds timeout) {
    return waitFor([&] { return occurrences(err_, text) >= count; }, timeout);
  }

  // Collects all output and waits for the child to end. Returns its exit
  // status (on POSIX 128 + the signal number if a signal ended it), or -1 on
  // timeout.
  int wait(std::chrono::milliseconds timeout);

  // Once wait() has returned a status: the child's processor time, user and
  // system, in seconds, and the most memory it had in physical pages, in
  // bytes; -1 where unknown.
  double cpuSeconds() const { return cpu_seconds_; }
  long long peakBytes() const { return peak_bytes_; }

  static int occurrences(std::string_view in, std::string_view text) {
    int count = 0;
    for (std::size_t at = in.find(text); at != std::string_view::npos;
         at = in.find(text, at + text.size())) {
      ++count;
    }
    return count;
  }

#if defined(_WIN32)
  // The child's process handle, owned by this object.
  HANDLE process() const { return process_; }
#else
  pid_t pid() const { return pid_; }
  bool sendSignal(int number);

  // While paused, the child's standard output is left unread, so that its
  // writes block once the pipe is full; standard error is still read.
  void pauseOutput(bool paused) { output_paused_ = paused; }

  // A slow reader: from now on each stream gives at most bytes a read, and
  // every read waits a millisecond first, so that the child's pipes fill.
  void readSlowly(std::size_t bytes) { read_limit_ = bytes; }
#endif

 private:
  std::string out_;
  std::string err_;
  double cpu_seconds_ = -1;
  long long peak_bytes_ = -1;
#if defined(_WIN32)
  // Reads what a pipe holds now, without waiting; false if nothing.
  bool readAvailable(HANDLE pipe, std::string* into);

  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  HANDLE error_ = nullptr;
#else
  template <typename InChild>
  void start(Output output, const InChild& in_child, bool inherit_input);
  static bool openTerminal(int ends[2]);
  bool pump(Clock::time_point deadline);
  void readFrom(const pollfd& fd, int* owned, std::string* into) const;

  pid_t pid_ = -1;
  bool reaped_ = false;
  bool output_paused_ = false;
  std::size_t read_limit_ = 0;  // most bytes a read; 0: a whole buffer
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
#endif
};

#if defined(_WIN32)
#include "unit/child_process_windows.h"
#else
#include "unit/child_process_posix.h"
#endif

#endif  // TESTS_UNIT_CHILD_PROCESS_H_
