// The Windows side of unit/child_process.h, which alone includes this file:
// CreateProcess with pipes, the child in a process group of its own, and
// console Ctrl-C events.
#ifndef TESTS_UNIT_CHILD_PROCESS_WINDOWS_H_
#define TESTS_UNIT_CHILD_PROCESS_WINDOWS_H_

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline ChildProcess::ChildProcess(const std::vector<std::string>& argv, Input input, Output output,
                                  Console console) {
  if (argv.empty() || (input != Input::kPipe && input != Input::kInherited) ||
      (output != Output::kPipes && output != Output::kOnePipe && output != Output::kInherited)) {
    return;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  // The child's ends of the pipes, closed here once it has them.
  HANDLE in_read = nullptr;
  HANDLE out_write = nullptr;
  HANDLE err_write = nullptr;
  const auto closeChildEnds = [&] {
    for (HANDLE end : {in_read, out_write, err_write}) {
      if (end != nullptr) CloseHandle(end);
    }
  };
  // A pipe whose end here is not inherited.
  const auto makePipe = [&inherit](HANDLE* reading, HANDLE* writing, HANDLE* ours) {
    if (!CreatePipe(reading, writing, &inherit, 0)) return false;
    SetHandleInformation(*ours, HANDLE_FLAG_INHERIT, 0);
    return true;
  };
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  bool ok = true;
  if (input == Input::kPipe) {
    ok = makePipe(&in_read, &input_, &input_);
    startup.hStdInput = in_read;
  }
  if (ok && output != Output::kInherited) {
    ok = makePipe(&output_, &out_write, &output_);
    startup.hStdOutput = out_write;
    startup.hStdError = out_write;
  }
  if (ok && output == Output::kPipes) {
    ok = makePipe(&error_, &err_write, &error_);
    startup.hStdError = err_write;
  }
  std::string command;
  for (const std::string& arg : argv) {
    command += (command.empty() ? "\"" : " \"") + arg + "\"";
  }
  const DWORD flags =
      CREATE_NEW_PROCESS_GROUP | (console == Console::kOwn ? CREATE_NEW_CONSOLE : 0);
  PROCESS_INFORMATION info{};
  if (ok && CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                           &startup, &info)) {
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    CloseHandle(info.hThread);
  }
  closeChildEnds();
}

inline ChildProcess::~ChildProcess() {
  if (process_ != nullptr) {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
    CloseHandle(process_);
  }
  for (HANDLE pipe : {input_, output_, error_}) {
    if (pipe != nullptr) CloseHandle(pipe);
  }
}

inline bool ChildProcess::started() const { return process_ != nullptr; }

inline bool ChildProcess::write(std::string_view bytes) {
  DWORD written = 0;
  return input_ != nullptr &&
         WriteFile(input_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

inline void ChildProcess::closeInput() {
  if (input_ != nullptr) CloseHandle(input_);
  input_ = nullptr;
}

inline bool ChildProcess::interrupt() {
  return process_ != nullptr && GenerateConsoleCtrlEvent(CTRL_C_EVENT, id_) != 0;
}

inline bool ChildProcess::readAvailable(HANDLE pipe, std::string* into) {
  DWORD available = 0;
  if (pipe == nullptr || !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) ||
      available == 0) {
    return false;
  }
  char buffer[65536];
  DWORD got = 0;
  if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) return false;
  into->append(buffer, got);
  return got > 0;
}

inline bool ChildProcess::waitFor(const std::function<bool()>& done,
                                  std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    const bool read_output = readAvailable(output_, &out_);
    const bool read_error = readAvailable(error_, &err_);
    if (read_output || read_error) continue;
    if (Clock::now() >= deadline) return false;
    Sleep(5);
  }
  return true;
}

inline int ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (process_ == nullptr) return -1;
  const Clock::time_point deadline = Clock::now() + timeout;
  // A child that fills a pipe waits for it to be read before it can end.
  while (WaitForSingleObject(process_, 5) == WAIT_TIMEOUT) {
    readAvailable(output_, &out_);
    readAvailable(error_, &err_);
    if (Clock::now() >= deadline) return -1;
  }
  // What it wrote last: a pipe ends once no process holds its other end.
  for (const auto& [pipe, into] : {std::pair{output_, &out_}, std::pair{error_, &err_}}) {
    char buffer[65536];
    DWORD got = 0;
    while (pipe != nullptr && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      into->append(buffer, got);
    }
  }
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(process_, &created, &exited, &kernel, &user)) {
    // Both in units of 100 ns.
    const auto seconds = [](const FILETIME& t) {
      return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 |
                                 t.dwLowDateTime) /
             1e7;
    };
    cpu_seconds_ = seconds(kernel) + seconds(user);
  }
  PROCESS_MEMORY_COUNTERS counters{};
  if (K32GetProcessMemoryInfo(process_, &counters, sizeof counters)) {
    peak_bytes_ = static_cast<long long>(counters.PeakWorkingSetSize);
  }
  DWORD status = 0;
  GetExitCodeProcess(process_, &status);
  return static_cast<int>(status);
}

#endif  // TESTS_UNIT_CHILD_PROCESS_WINDOWS_H_
