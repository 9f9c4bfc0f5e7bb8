#include "report/fatal_signal.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "data/path_text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quorvane::report::fatal_signal {

namespace {

using PathChar = std::filesystem::path::value_type;
constexpr std::size_t kMaxPath = 4096;
constexpr std::size_t kMaxEnding = 16384;

// A signal handler can reach nothing but static storage, and may neither allocate nor lock:
// everything it needs is copied here beforehand, and the ending is double-buffered so that it
// can be replaced while a handler might read it.
struct Ending {
  char text[kMaxEnding];
  std::size_t before = 0;
  std::size_t length = 0;
};

struct GuardedFile {
  std::atomic<int> fd{-1};
  std::atomic<const char*> pending{nullptr};
  std::atomic<const std::atomic<std::size_t>*> pendingSize{nullptr};
  PathChar unfinished[kMaxPath];
  PathChar target[kMaxPath];
  char targetText[kMaxPath];
  Ending endings[2];
  std::atomic<int> current{0};
  int exitStatus = 0;
};

GuardedFile guarded;

constexpr const char* kFallbackEnding = "</body>\r\n</html>\r\n";

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
#ifdef _WIN32
    const int n = ::_write(fd, data, static_cast<unsigned>(size));
#else
    const ssize_t n = ::write(fd, data, size);
#endif
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void WriteText(int fd, const char* text) {
  WriteAll(fd, text, std::strlen(text));
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGABRT:
      return "SIGABRT";
    case SIGSEGV:
      return "SIGSEGV";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
#ifdef SIGBUS
    case SIGBUS:
      return "SIGBUS";
#endif
    default:
      return "a fatal signal";
  }
}

void CopyPath(PathChar (&to)[kMaxPath], const std::filesystem::path& from) {
  const auto& native = from.native();
  const std::size_t size = std::min(native.size(), kMaxPath - 1);
  std::copy_n(native.data(), size, to);
  to[size] = 0;
}

void OnFatalSignal(int signal) {
  const int fd = guarded.fd.exchange(-1);
  if (fd >= 0) {
    const char* pending = guarded.pending.load();
    const std::atomic<std::size_t>* pendingSize = guarded.pendingSize.load();
    if (pending && pendingSize) WriteAll(fd, pending, pendingSize->load());
    const Ending& ending = guarded.endings[guarded.current.load()];
    if (ending.length > 0) {
      WriteAll(fd, ending.text, ending.before);
      WriteText(fd, SignalName(signal));
      WriteAll(fd, ending.text + ending.before, ending.length - ending.before);
    } else {
      WriteText(fd, kFallbackEnding);
    }
#ifdef _WIN32
    ::_commit(fd);
    ::_close(fd);
    const bool moved = ::MoveFileExW(guarded.unfinished, guarded.target,
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    ::fsync(fd);
    ::close(fd);
    const bool moved = ::rename(guarded.unfinished, guarded.target) == 0;
#endif
    WriteText(2, "\nquorvane: stopped by ");
    WriteText(2, SignalName(signal));
    WriteText(2, " (a fault in the ODBC driver or in the program); ");
    WriteText(2, moved ? "the report gathered so far, closed, is in " : "could not write ");
    WriteText(2, guarded.targetText);
    WriteText(2, "\n");
  }
  if (guarded.exitStatus != 0) std::_Exit(guarded.exitStatus);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void Install(int exitStatus) {
  guarded.exitStatus = exitStatus;
  for (const int signal : {SIGABRT, SIGSEGV, SIGFPE, SIGILL
#ifdef SIGBUS
                           ,
                           SIGBUS
#endif
       }) {
#ifdef _WIN32
    std::signal(signal, OnFatalSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signal, &action, nullptr);
#endif
  }
}

void Guard(int fd, const std::filesystem::path& unfinished, const std::filesystem::path& target,
           PendingBytes pending) {
  guarded.fd.store(-1);
  guarded.pending.store(pending.data);
  guarded.pendingSize.store(pending.size);
  CopyPath(guarded.unfinished, unfinished);
  CopyPath(guarded.target, target);
  const std::string text = data::Utf8FromPath(target);
  const std::size_t size = std::min(text.size(), kMaxPath - 1);
  std::memcpy(guarded.targetText, text.data(), size);
  guarded.targetText[size] = 0;
  guarded.endings[0].length = guarded.endings[1].length = 0;
  guarded.fd.store(fd);
}

void SetEnding(std::string_view before, std::string_view after) {
  const int next = 1 - guarded.current.load();
  Ending& ending = guarded.endings[next];
  if (before.size() + after.size() > kMaxEnding) {
    ending.length = 0;  // the fallback ending still closes the document
  } else {
    std::memcpy(ending.text, before.data(), before.size());
    std::memcpy(ending.text + before.size(), after.data(), after.size());
    ending.before = before.size();
    ending.length = before.size() + after.size();
  }
  guarded.current.store(next);
}

void Release(int fd) {
  guarded.fd.compare_exchange_strong(fd, -1);
}

}  // namespace quorvane::report::fatal_signal
