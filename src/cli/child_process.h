#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

namespace quorvane::cli {

// This program's own executable, to start copies of it.
std::filesystem::path CurrentProgram();

// A program run beside this one: `input` on its standard input (which is then closed), its
// standard output and error into `log` (created anew, owner only). It starts in a process group
// of its own with the default signal handling, so that an interrupt reaches it once, through
// Interrupt, and not also from the terminal.
class ChildProcess {
 public:
  // Throws std::system_error when the program cannot be started.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               std::string_view input, const std::filesystem::path& log);
  // A child still running is killed and waited for.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits for the child to end; its exit status as a shell gives it (128 + N after signal N).
  int Wait();
  // Passes an interrupt (its POSIX number) on: the signal itself, or on Windows Ctrl+Break,
  // which the report command takes for SIGTERM. Thread-safe; does nothing once the child ended.
  void Interrupt(int signal);

 private:
  std::mutex mutex_;
  bool ended_ = false;   // seen ended: no interrupt is passed on any more
  bool reaped_ = false;  // waited for: nothing is left to do when it goes
#ifdef _WIN32
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
#else
  pid_t pid_ = -1;
#endif
};

}  // namespace quorvane::cli
