#pragma once

// The few socket calls the simulator makes, over POSIX sockets or Winsock.

#include <cstddef>
#include <string>

#include "sqlserver_sim/socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace sqlsim::net {

// Once per process before any other call (WSAStartup on Windows).
void Initialize();

SocketHandle OpenSocket(int family, int type, int protocol);
SocketHandle Accept(SocketHandle listener);
void CloseSocket(SocketHandle socket);
// Both directions; a thread blocked on the socket returns.
void Shutdown(SocketHandle socket);
void SetOption(SocketHandle socket, int level, int name, int value);

// recv/send: bytes moved, 0 at the end of the stream (receive), negative on error. A send to a
// closed peer fails instead of raising SIGPIPE.
long long Receive(SocketHandle socket, void* data, std::size_t size);
long long Send(SocketHandle socket, const void* data, std::size_t size);

// poll(); on Windows WSAPoll.
int Poll(pollfd* fds, std::size_t count, int timeoutMs);
// True when the last failed call should simply be repeated (interrupted by a signal).
bool ShouldRetry();
// The reason for the last failed call, for messages.
std::string LastError();

// Two connected ends: writing a byte to [1] makes [0] readable for every poll that watches it.
// A pipe on POSIX systems; on Windows, where poll takes only sockets, a loopback connection.
void OpenWakePair(SocketHandle ends[2]);
void Wake(SocketHandle writeEnd);

}  // namespace sqlsim::net
