// Exhausted memory in a real session: the whole program runs in a child
// process whose allocations fail from the Nth on (or whose system reports little memory
// available), on a text long enough for the scan's second thread. Whatever
// fails, the session must end with exactly one memory message, as its last
// line, and status 1, never with a signal, and keep what it had written to
// standard output.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/program.h"
#include "search/fast_scan.h"
#include "unit/temp_file.h"
#include "util/memory.h"

namespace {

struct Session {
  int status;  // exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

std::string readFile(const std::string& path) {
  std::string bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
    std::fclose(file);
  }
  return bytes;
}

// "AB" 600 times: "AB" stands at every odd skip, about 600 times at each,
// so both scans keep both threads busy filling hit runs.
std::string abText() {
  std::string text;
  for (int i = 0; i < 600; ++i) text += "AB";
  return text;
}

// The session: a search whose listing is stopped at the first page of each
// section, a selection, both grids, the selection list and the information.
constexpr const char* kScript = "m 60\n/AB\nq\nq\ns 1\ns 700\np 2\nP\nl\ni\nw 300,300\nP\nq\n";

class MemoryFault : public testing::Test {
 protected:
  void SetUp() override {
    text_ = writeTempFile(abText());
    script_ = text_ + ".script";
    removeWhenTestsEnd(script_);
    removeWhenTestsEnd(text_ + ".out");
    removeWhenTestsEnd(text_ + ".err");
    std::FILE* file = std::fopen(script_.c_str(), "wb");
    std::fputs(kScript, file);
    std::fclose(file);
  }

  // Runs the program in a child process; before it starts, prepare() runs
  // in the child.
  template <typename Prepare>
  Session run(const Prepare& prepare) {
    const std::string out_path = text_ + ".out";
    const std::string err_path = text_ + ".err";
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(open(script_.c_str(), O_RDONLY), 0);
      dup2(open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      // Small blocks, both threads from the first one.
      fastScanTuning.parallel_work = 0;
      fastScanTuning.block_work = 200;
      fastScanTuning.max_block_skips = 4;
      prepare();
      std::string name = text_;
      char program[] = "elsScan";
      char* argv[] = {program, name.data(), nullptr};
      std::exit(runProgram(2, argv));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(out_path),
            readFile(err_path)};
  }

  Session runFailing(long long n) {
    return run([n] { failingAllocation = n; });
  }

  std::string text_;
  std::string script_;
};

int countOf(const std::string& in, const std::string& text) {
  int count = 0;
  for (std::size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) {
    ++count;
  }
  return count;
}

// True when err ends with the one memory message of the session.
bool endsWithOneMemoryMessage(const std::string& err) {
  if (countOf(err, "cannot get the memory of ") != 1) return false;
  const std::string last = err.substr(err.rfind("cannot get the memory of "));
  const std::string digits = "0123456789";
  const std::size_t after = last.find_first_not_of(digits, 25);
  if (after == 25) return false;
  const std::string unit = last.substr(after);
  return unit == " bytes\n" || unit == " K bytes\n";
}

TEST_F(MemoryFault, EveryFailingAllocationEndsWithOneMessageAndStatusOne) {
  const Session whole = run([] {});
  ASSERT_EQ(whole.status, 0) << whole.err;
  // Every request up to 400, then every 7th, until one lies past the end of
  // the session.
  int visited = 0;
  int in_backward_scan = 0;
  for (long long n = 1;; n += n < 400 ? 1 : 7) {
    const Session s = runFailing(n);
    if (s.status == 0) break;
    ++visited;
    if (countOf(s.err, "searching backward") == 1) ++in_backward_scan;
    ASSERT_EQ(s.status, 1) << "allocation " << n << "\n" << s.err;
    ASSERT_TRUE(endsWithOneMemoryMessage(s.err)) << "allocation " << n << "\n" << s.err;
    // Everything written before the failure reached standard output.
    ASSERT_EQ(whole.out.compare(0, s.out.size(), s.out), 0) << "allocation " << n;
    ASSERT_LT(n, 100000) << "the session never ran to its end";
  }
  // The loader, the kind map, both scans' hit runs, the selection and the
  // grids each take some, and with the program's own operator new the
  // messages and the scan's tables too.
  EXPECT_GT(visited, ELSSCAN_OWN_NEW ? 40 : 10);
  EXPECT_GT(in_backward_scan, 5);
}

// A system with 2 MB left above the reserve (64 MB here) at the first look,
// and 1 MB less at every later one, as the program's blocks fill its memory.
std::uint64_t looks = 0;
MemoryStatus shrinkingMemory() {
  const std::uint64_t available = (std::uint64_t{66} << 20) - (looks++ << 20);
  return {true, available, std::uint64_t{1} << 30};
}

TEST_F(MemoryFault, SearchWhoseHitsPassTheBudgetEndsWithTheMessage) {
  // Over all skips the text has about 180,000 hits: their first chunk
  // (4 MB) passes the 2 MB left above the reserve.
  std::FILE* file = std::fopen(script_.c_str(), "wb");
  std::fputs("/AB/a\nq\nq\nq\n", file);
  std::fclose(file);
  const Session whole = run([] {});
  ASSERT_EQ(whole.status, 0) << whole.err;
  const Session s = run([] { setMemoryStatusSource(shrinkingMemory); });
  EXPECT_EQ(s.status, 1);
  EXPECT_TRUE(endsWithOneMemoryMessage(s.err)) << s.err;
}

}  // namespace
