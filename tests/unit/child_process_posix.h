// The POSIX side of unit/child_process.h, which alone includes this file:
// fork and exec with pipes, a pseudo-terminal for standard error if asked,
// and real signals.
#ifndef TESTS_UNIT_CHILD_PROCESS_POSIX_H_
#define TESTS_UNIT_CHILD_PROCESS_POSIX_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
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
#include <thread>
#include <vector>

inline ChildProcess::ChildProcess(const std::vector<std::string>& argv, Input input, Output output,
                                  Console console) {
  if (console != Console::kShared) return;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  start(
      output,
      [&args, input, output] {
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
      },
      input == Input::kInherited);
}

inline ChildProcess::ChildProcess(const std::function<int()>& run, Output output) {
  start(
      output, [&run] { std::exit(run()); }, false);
}

inline ChildProcess::~ChildProcess() {
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

inline bool ChildProcess::started() const { return pid_ > 0; }

inline bool ChildProcess::write(std::string_view bytes) {
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

inline void ChildProcess::closeInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

inline bool ChildProcess::sendSignal(int number) {
  return pid_ > 0 && !reaped_ && kill(pid_, number) == 0;
}

inline bool ChildProcess::interrupt() { return sendSignal(SIGINT); }

inline bool ChildProcess::waitFor(const std::function<bool()>& done,
                                  std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    if (!pump(deadline)) return done();
  }
  return true;
}

inline int ChildProcess::wait(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (output_ >= 0 || error_ >= 0) {
    if (!pump(deadline)) return -1;
  }
  for (;;) {
    int status = 0;
    rusage usage{};
    const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) {
      reaped_ = true;
      const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
      };
      cpu_seconds_ = seconds(usage.ru_utime) + seconds(usage.ru_stime);
      peak_bytes_ = static_cast<long long>(usage.ru_maxrss) * 1024;  // Linux gives kB
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (done < 0 || Clock::now() >= deadline) return -1;
    // Short, since the benchmark times a child's exit to a fraction of a
    // millisecond.
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

// Forks with the three pipes (standard error a terminal if output says so,
// or the output pipe with Output::kOnePipe) in place of the child's standard
// streams, those that are inherited left alone, and the default handling of
// every signal; in_child() must not return.
template <typename InChild>
void ChildProcess::start(Output output, const InChild& in_child, bool inherit_input) {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  const bool piped_output = output != Output::kInherited;
  const bool piped_error = piped_output && output != Output::kOnePipe;
  if (!inherit_input && pipe2(in, O_CLOEXEC) != 0) return;
  if (piped_output && pipe2(out, O_CLOEXEC) != 0) return;
  if (piped_error &&
      (output == Output::kErrorTerminal ? !openTerminal(err) : pipe2(err, O_CLOEXEC) != 0)) {
    return;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to an exec.
    if (in[0] >= 0) dup2(in[0], 0);
    if (out[1] >= 0) dup2(out[1], 1);
    if (err[1] >= 0) dup2(err[1], 2);
    if (piped_output && !piped_error) dup2(out[1], 2);
    // Without an exec to close them, the pipes' other ends would keep the
    // child's standard input from ever ending.
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
      if (fd >= 0) close(fd);
    }
    // Ignored or blocked signals would survive the exec.
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    in_child();
  }
  for (const int fd : {in[0], out[1], err[1]}) {
    if (fd >= 0) close(fd);
  }
  input_ = in[1];
  output_ = out[0];
  error_ = err[0];
}

// A pseudo-terminal in raw mode: ends[0] the side this process reads,
// ends[1] the terminal, as pipe() gives them. The terminal does not become
// the controlling one of either process.
inline bool ChildProcess::openTerminal(int ends[2]) {
  ends[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ends[0] < 0) return false;
  const char* name = grantpt(ends[0]) == 0 && unlockpt(ends[0]) == 0 ? ptsname(ends[0]) : nullptr;
  ends[1] = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  termios mode{};
  if (ends[1] < 0 || tcgetattr(ends[1], &mode) != 0) return false;
  cfmakeraw(&mode);
  return tcsetattr(ends[1], TCSANOW, &mode) == 0;
}

// Reads whatever the child has written, waiting until the deadline at most.
// False when the deadline passed or both pipes are at their end.
inline bool ChildProcess::pump(Clock::time_point deadline) {
  pollfd fds[2] = {{output_paused_ ? -1 : output_, POLLIN, 0}, {error_, POLLIN, 0}};
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0 || (fds[0].fd < 0 && error_ < 0)) return false;
  if (read_limit_ > 0) poll(nullptr, 0, 1);
  if (poll(fds, 2, static_cast<int>(left.count())) <= 0) return Clock::now() < deadline;
  readFrom(fds[0], &output_, &out_);
  readFrom(fds[1], &error_, &err_);
  return true;
}

inline void ChildProcess::readFrom(const pollfd& fd, int* owned, std::string* into) const {
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

#endif  // TESTS_UNIT_CHILD_PROCESS_POSIX_H_
