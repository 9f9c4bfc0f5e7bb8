#include "connection/tcp_probe.h"

#ifndef _WIN32
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#endif

namespace quorvane::connection {

#ifdef _WIN32

// The Windows drivers name the cause themselves ("No such host is known", "actively refused").
TcpProbe ProbeTcp(const std::string&, int, int) {
  return {};
}

#else

namespace {

// Waits for a non-blocking connect to finish; the socket's own error, ETIMEDOUT when time ran
// out.
int FinishConnect(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return ETIMEDOUT;
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ready == 0 ? ETIMEDOUT : errno;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
  }
}

}  // namespace

TcpProbe ProbeTcp(const std::string& host, int port, int seconds) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      rc != 0) {
    return {TcpProbe::Outcome::kUnknownName, ::gai_strerror(rc)};
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  TcpProbe result{TcpProbe::Outcome::kNoAnswer, "no address"};
  for (const addrinfo* a = found; a; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) error = FinishConnect(fd, deadline);
    ::close(fd);
    if (error == 0) {
      result = {TcpProbe::Outcome::kAnswered, {}};
      break;
    }
    // One address that refuses says more than another that stays silent.
    if (error == ECONNREFUSED) {
      result = {TcpProbe::Outcome::kRefused, std::strerror(error)};
    } else if (result.outcome != TcpProbe::Outcome::kRefused) {
      result = {TcpProbe::Outcome::kNoAnswer, std::strerror(error)};
    }
  }
  ::freeaddrinfo(found);
  return result;
}

#endif

}  // namespace quorvane::connection
