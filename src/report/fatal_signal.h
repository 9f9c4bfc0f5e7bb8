#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string_view>

// The report's last word when the process is brought down by a fault in code it cannot
// protect itself from (an ODBC driver failing an assertion, a bad pointer): the report file
// being written gets an ending block and is put in place before the process ends, so that what
// was gathered is not lost.
namespace quorvane::report::fatal_signal {

// Installs the handlers of SIGABRT, SIGSEGV, SIGBUS, SIGFPE and SIGILL. After the guarded file
// (if any) is closed, the process ends with `exitStatus`, or with the signal itself when 0.
void Install(int exitStatus);

// The bytes a writer has accepted but not yet written to its file: `size` of them at `data`.
// The writer stores the new size only after the bytes are in place, and clears it only after
// they are written, so that a handler never writes a byte twice or half-copied.
struct PendingBytes {
  const char* data = nullptr;
  const std::atomic<std::size_t>* size = nullptr;
};

// Guards one open report file (one at a time): its pending bytes, then the ending, are written
// to `fd`, then `unfinished` is renamed to `target`. The ending is `before` + the signal's name
// + `after`.
void Guard(int fd, const std::filesystem::path& unfinished, const std::filesystem::path& target,
           PendingBytes pending = {});
void SetEnding(std::string_view before, std::string_view after);
// Stops guarding `fd` (a file another writer guards since is left alone).
void Release(int fd);

}  // namespace quorvane::report::fatal_signal
