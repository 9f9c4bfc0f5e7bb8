#include "cli/child_process.h"

#include <system_error>

#include "data/path_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

extern char** environ;
#endif

namespace quorvane::cli {

#ifndef _WIN32

namespace {

[[noreturn]] void Fail(const char* what, int error) {
  throw std::system_error(error, std::generic_category(), what);
}

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Writes `input` to the child's standard input. A child that ended without reading it has said
// why in its log and its exit status; the broken pipe is then no signal to this process.
void WriteInput(int fd, std::string_view input) {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  bool broken = false;
  while (!input.empty()) {
    const ssize_t n = ::write(fd, input.data(), input.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      broken = errno == EPIPE;
      break;
    }
    input.remove_prefix(static_cast<std::size_t>(n));
  }
  if (broken) {
    const timespec none{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &none) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

std::filesystem::path CurrentProgram() {
  return std::filesystem::read_symlink("/proc/self/exe");
}

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments, std::string_view input,
                           const std::filesystem::path& log) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) Fail("cannot make a pipe", errno);
  Descriptor readEnd(pipeEnds[0]);
  Descriptor writeEnd(pipeEnds[1]);
  Descriptor logFile(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (logFile.Get() < 0) Fail(("cannot create " + log.string()).c_str(), errno);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, readEnd.Get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, logFile.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, logFile.Get(), STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::string programText = program.string();
  std::vector<std::string> argv{programText};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> raw;
  for (std::string& argument : argv) raw.push_back(argument.data());
  raw.push_back(nullptr);
  const int error =
      posix_spawn(&pid_, programText.c_str(), &actions, &attributes, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) Fail(("cannot start " + programText).c_str(), error);
  readEnd.Close();
  logFile.Close();
  WriteInput(writeEnd.Get(), input);
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0 || reaped_) return;
  {
    const std::lock_guard lock(mutex_);
    if (!ended_) ::kill(pid_, SIGKILL);
    ended_ = true;
  }
  ::waitpid(pid_, nullptr, 0);
}

int ChildProcess::Wait() {
  // Seen ended but not yet reaped, its id cannot go to another process while an interrupt is
  // passed on.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) Fail("cannot wait for a child process", errno);
  }
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) Fail("cannot wait for a child process", errno);
  }
  reaped_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ChildProcess::Interrupt(int signal) {
  const std::lock_guard lock(mutex_);
  if (!ended_) ::kill(pid_, signal);
}

#else

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

// A handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  HANDLE* Out() { return &handle_; }
  void Close() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

// One argument as the C runtime's parser reads it back: quoted when it needs to be, with the
// backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

std::wstring Wide(const std::string& utf8) {
  return data::PathFromUtf8(utf8).wstring();
}

}  // namespace

std::filesystem::path CurrentProgram() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) Fail("cannot find the program's own file");
    if (length < name.size()) return std::filesystem::path(name.substr(0, length));
    name.resize(name.size() * 2);
  }
}

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments, std::string_view input,
                           const std::filesystem::path& log) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle readEnd;
  Handle writeEnd;
  if (!::CreatePipe(readEnd.Out(), writeEnd.Out(), &inheritable, 0)) Fail("cannot make a pipe");
  ::SetHandleInformation(writeEnd.Get(), HANDLE_FLAG_INHERIT, 0);
  Handle logFile(::CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (logFile.Get() == INVALID_HANDLE_VALUE) Fail("cannot create the log file");

  // Only these two handles go to the child, whatever other threads start meanwhile.
  HANDLE inherited[2] = {readEnd.Get(), logFile.Get()};
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    Fail("cannot prepare a child process");
  }
  ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                              sizeof inherited, nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = readEnd.Get();
  startup.StartupInfo.hStdOutput = logFile.Get();
  startup.StartupInfo.hStdError = logFile.Get();
  startup.lpAttributeList = attributes;

  std::wstring commandLine = Quoted(program.wstring());
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(Wide(argument));
  PROCESS_INFORMATION created{};
  // A group of its own: Ctrl+C at the console reaches this program only, which passes it on.
  const BOOL started = ::CreateProcessW(
      program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
      CREATE_NEW_PROCESS_GROUP | EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, nullptr,
      nullptr, &startup.StartupInfo, &created);
  ::DeleteProcThreadAttributeList(attributes);
  if (!started) Fail("cannot start the report command");
  ::CloseHandle(created.hThread);
  process_ = created.hProcess;
  processId_ = created.dwProcessId;
  readEnd.Close();
  logFile.Close();
  // A child that ended without reading its input has said why in its log and exit status.
  DWORD written = 0;
  ::WriteFile(writeEnd.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
}

ChildProcess::~ChildProcess() {
  if (!process_) return;
  if (!reaped_) {
    {
      const std::lock_guard lock(mutex_);
      if (!ended_) ::TerminateProcess(process_, 1);
      ended_ = true;
    }
    ::WaitForSingleObject(process_, INFINITE);
  }
  ::CloseHandle(process_);
}

int ChildProcess::Wait() {
  ::WaitForSingleObject(process_, INFINITE);
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
  }
  reaped_ = true;
  DWORD code = 0;
  if (!::GetExitCodeProcess(process_, &code)) Fail("cannot read a child's exit status");
  return static_cast<int>(code);
}

void ChildProcess::Interrupt(int) {
  const std::lock_guard lock(mutex_);
  if (!ended_) ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, processId_);
}

#endif

}  // namespace quorvane::cli
