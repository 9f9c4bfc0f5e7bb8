#pragma once

#include <cstdint>

namespace sqlsim {

// A connected or listening socket: a file descriptor on POSIX systems, a Winsock SOCKET (an
// unsigned handle of pointer size) on Windows.
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

}  // namespace sqlsim
