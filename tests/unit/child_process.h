// Runs a program as a child process with its standard input, output and
// error on pipes (standard error on a terminal if asked), so that a test can
// feed it lines, watch what it writes, send it real signals and collect its
// exit status. POSIX only.
#ifndef TESTS_UNIT_CHILD_PROCESS_H_
#define TESTS_UNIT_CHILD_PROCESS_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // The child's standard input: a pipe that write() feeds (which the child
  // finds non-blocking with kNonBlockingPipe), the root folder, or none.
  enum class Input { kPipe, kNonBlockingPipe, kDirectory, kClosed };

  // The child's standard output and error: pipes; pipes that the child finds
  // non-blocking, as a parent program may hand them; or standard error a
  // pseudo-terminal in raw mode, so that the child finds a terminal there and
  // the test reads the bytes as they were written (no line break turned into
  // CR LF).
  enum class Output { kPipes, kNonBlockingPipes, kErrorTerminal };

  // Starts argv[0] with the arguments argv. On failure pid() is -1.
  explicit ChildProcess(const std::vector<std::string>& argv, Input input = Input::kPipe,
                        Output output = Output::kPipes) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    start(output, [&args, input, output] {
      if (input == Input::kNonBlockingPipe) fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
      if (output == Output::kNonBlockingPipes) {
        for (const int fd : {1, 2}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      }
      if (input == Input::kDirectory) {
        const int root = open("/", O_RDONLY);
        dup2(root, 0);
        close(root);
      }
      if (input == Input::kClosed) close(0);
      execv(args[0], args.data());
      _exit(127);
    });
  }

  // Runs run() in a copy of this process, which then ends with its result
  // through std::exit, as a program's main would. Only for a test process
  // that runs no other thread. On failure pid() is -1.
  explicit ChildProcess(const std::function<int()>& run, Output output = Output::kPipes) {
    start(output, [&run] { std::exit(run()); });
  }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // A child still running is killed; the pipes are closed.
  ~ChildProcess() {
    closeInput();
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    for (int fd : {output_, error_}) {
      if (fd >= 0) close(fd);
    }
  }

  pid_t pid() const { return pid_; }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

  // Writes bytes to the child's standard input; false if it cannot take them.
  bool write(std::string_view bytes) {
    // A child that has ended would otherwise kill this process with SIGPIPE.
    struct sigaction ignore {
    }, saved{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &saved);
    bool ok = input_ >= 0;
    while (ok && !bytes.empty()) {
      const ssize_t n = ::write(input_, bytes.data(), bytes.size());
      ok = n > 0;
      if (ok) bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    sigaction(SIGPIPE, &saved, nullptr);
    return ok;
  }

  void closeInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }

  // While paused, the child's standard output is left unread, so that its
  // writes block once the pipe is full; standard error is still read.
  void pauseOutput(bool paused) { output_paused_ = paused; }

  // A slow reader: from now on each stream gives at most bytes a read, and
  // every read waits a millisecond first, so that the child's pipes fill.
  void readSlowly(std::size_t bytes) { read_limit_ = bytes; }

  bool sendSignal(int number) { return pid_ > 0 && !reaped_ && kill(pid_, number) == 0; }

  // Collects output until done() holds or the timeout passes; returns done().
  bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!done()) {
      if (!pump(deadline)) return done();
    }
    return true;
  }

  // Collects output until standard error holds text at least count times.
  bool waitForError(std::string_view text, int count, std::chrono::milliseconds timeout) {
    return waitFor([&] { return occurrences(err_, text) >= count; }, timeout);
  }

  // Collects all output and waits for the child to end. Returns its exit
  // status, 128 + the signal number if a signal ended it, or -1 on timeout.
  int wait(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (output_ >= 0 || error_ >= 0) {
      if (!pump(deadline)) return -1;
    }
    for (;;) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (done < 0 || Clock::now() >= deadline) return -1;
      poll(nullptr, 0, 5);
    }
  }

  static int occurrences(std::string_view in, std::string_view text) {
    int count = 0;
    for (std::size_t at = in.find(text); at != std::string_view::npos;
         at = in.find(text, at + text.size())) {
      ++count;
    }
    return count;
  }

 private:
  // Forks with the three pipes (standard error a terminal if error says so)
  // in place of the child's standard streams and the default handling of
  // every signal; in_child() must not return.
  template <typename InChild>
  void start(Output output, const InChild& in_child) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    if (output == Output::kErrorTerminal ? !openTerminal(err) : pipe2(err, O_CLOEXEC) != 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls from here to an exec.
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      // Without an exec to close them, the pipes' other ends would keep the
      // child's standard input from ever ending.
      for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      // Ignored or blocked signals would survive the exec.
      ::signal(SIGPIPE, SIG_DFL);
      ::signal(SIGINT, SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      in_child();
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
  }

  // A pseudo-terminal in raw mode: ends[0] the side this process reads,
  // ends[1] the terminal, as pipe() gives them. The terminal does not
  // become the controlling one of either process.
  static bool openTerminal(int ends[2]) {
    ends[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ends[0] < 0) return false;
    const char* name = grantpt(ends[0]) == 0 && unlockpt(ends[0]) == 0 ? ptsname(ends[0]) : nullptr;
    ends[1] = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    termios mode{};
    if (ends[1] < 0 || tcgetattr(ends[1], &mode) != 0) return false;
    cfmakeraw(&mode);
    return tcsetattr(ends[1], TCSANOW, &mode) == 0;
  }

  // Reads whatever the child has written, waiting until the deadline at
  // most. False when the deadline passed or both pipes are at their end.
  bool pump(Clock::time_point deadline) {
    pollfd fds[2] = {{output_paused_ ? -1 : output_, POLLIN, 0}, {error_, POLLIN, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || (fds[0].fd < 0 && error_ < 0)) return false;
    if (read_limit_ > 0) poll(nullptr, 0, 1);
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) return Clock::now() < deadline;
    readFrom(fds[0], &output_, &out_);
    readFrom(fds[1], &error_, &err_);
    return true;
  }

  void readFrom(const pollfd& fd, int* owned, std::string* into) const {
    if (fd.fd < 0 || (fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
    char buffer[65536];
    const std::size_t most =
        read_limit_ > 0 && read_limit_ < sizeof buffer ? read_limit_ : sizeof buffer;
    const ssize_t n = read(fd.fd, buffer, most);
    if (n < 0 && errno == EINTR) return;
    if (n > 0) {
      into->append(buffer, static_cast<std::size_t>(n));
    } else {
      close(fd.fd);
      *owned = -1;
    }
  }

  pid_t pid_ = -1;
  bool reaped_ = false;
  bool output_paused_ = false;
  std::size_t read_limit_ = 0;  // most bytes a read; 0: a whole buffer
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
  std::string out_;
  std::string err_;
};

#endif  // TESTS_UNIT_CHILD_PROCESS_H_
