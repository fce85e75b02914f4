// A whole session through the real loader and command loop: a text file and
// a script of command lines, with or without the options. Whatever they
// hold, the session must run without a memory error or undefined behaviour.
//
// Input: byte 0 chooses -c (bit 0), --no-pager (bit 1), --letters (bit 2)
// and --labels (bit 3), bytes 1 and 2 give the length of the text
// (little-endian, cut to what is there), the text follows and the script is
// the rest. The text gets a leading "A" (after a label "L " with --labels) so
// that it is never empty (an empty text ends the program, which would end
// the fuzzer).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/main_info.h"
#include "driver/program.h"
#include "util/message.h"

namespace {

std::string textPath;
std::string scriptPath;

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size,
               const char* before) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fputs(before, file);
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  textPath = dir + "/elsscan_session_fuzz_" + std::to_string(getpid()) + ".txt";
  scriptPath = textPath + ".script";
  // Grids and listings are long; only their making is of interest here.
  std::FILE* null = std::fopen("/dev/null", "wb");
  if (null == nullptr || dup2(fileno(null), 1) < 0) std::abort();
  errfp = kErrfpStdout;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool labels = (data[0] & 8) != 0;
  const std::size_t text_len =
      std::min<std::size_t>(data[1] + std::size_t{data[2]} * 256, size - 3);
  writeFile(textPath, data + 3, text_len, labels ? "L A" : "A");
  writeFile(scriptPath, data + 3 + text_len, size - 3 - text_len, "");
  if (std::freopen(scriptPath.c_str(), "rb", stdin) == nullptr) std::abort();

  std::vector<std::string> args = {"elsScan"};
  const char* const kOptions[] = {"-c", "--no-pager", "--letters", "--labels"};
  for (int bit = 0; bit < 4; ++bit) {
    if ((data[0] & (1 << bit)) != 0) args.emplace_back(kOptions[bit]);
  }
  args.push_back(textPath);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  removeSpaces = 0;
  noPager = 0;
  lettersOnly = 0;
  lineLabels = 0;
  runProgram(static_cast<int>(args.size()), argv.data());

  // What the program keeps to its end.
  std::free(mainInfo.text);
  std::free(mainInfo.kindMap);
  mainInfo.text = nullptr;
  mainInfo.kindMap = nullptr;
  return 0;
}
