#include "net.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace sqlsim::net {

#ifdef _WIN32

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      throw std::runtime_error("WSAStartup failed");
    }
  });
}

SocketHandle OpenSocket(int family, int type, int protocol) {
  return ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

SocketHandle Accept(SocketHandle listener) {
  return ::accept(listener, nullptr, nullptr);
}

void CloseSocket(SocketHandle socket) {
  ::closesocket(socket);
}

void Shutdown(SocketHandle socket) {
  ::shutdown(socket, SD_BOTH);
}

void SetOption(SocketHandle socket, int level, int name, int value) {
  ::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

long long Receive(SocketHandle socket, void* data, std::size_t size) {
  return ::recv(socket, static_cast<char*>(data), static_cast<int>(size), 0);
}

long long Send(SocketHandle socket, const void* data, std::size_t size) {
  return ::send(socket, static_cast<const char*>(data), static_cast<int>(size), 0);
}

int Poll(pollfd* fds, std::size_t count, int timeoutMs) {
  return ::WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}

bool ShouldRetry() {
  return ::WSAGetLastError() == WSAEINTR || ::WSAGetLastError() == WSAEWOULDBLOCK;
}

std::string LastError() {
  const int code = ::WSAGetLastError();
  char text[512] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string message = text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "Winsock error " + std::to_string(code) : message;
}

void OpenWakePair(SocketHandle ends[2]) {
  const SocketHandle listener = OpenSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == kNoSocket) throw std::runtime_error("wake socket: " + LastError());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  ends[0] = ends[1] = kNoSocket;
  if (::bind(listener, raw, length) == 0 && ::listen(listener, 1) == 0 &&
      ::getsockname(listener, raw, &length) == 0) {
    ends[1] = OpenSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (ends[1] != kNoSocket && ::connect(ends[1], raw, length) == 0) ends[0] = Accept(listener);
  }
  const std::string reason = LastError();
  CloseSocket(listener);
  if (ends[0] == kNoSocket) {
    if (ends[1] != kNoSocket) CloseSocket(ends[1]);
    throw std::runtime_error("wake socket: " + reason);
  }
  SetOption(ends[1], IPPROTO_TCP, TCP_NODELAY, 1);
}

void Wake(SocketHandle writeEnd) {
  const char wake = 'x';
  Send(writeEnd, &wake, 1);
}

#else

void Initialize() {}

SocketHandle OpenSocket(int family, int type, int protocol) {
  return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

SocketHandle Accept(SocketHandle listener) {
  return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

void CloseSocket(SocketHandle socket) {
  ::close(socket);
}

void Shutdown(SocketHandle socket) {
  ::shutdown(socket, SHUT_RDWR);
}

void SetOption(SocketHandle socket, int level, int name, int value) {
  ::setsockopt(socket, level, name, &value, sizeof value);
}

long long Receive(SocketHandle socket, void* data, std::size_t size) {
  return ::recv(socket, data, size, 0);
}

long long Send(SocketHandle socket, const void* data, std::size_t size) {
  return ::send(socket, data, size, MSG_NOSIGNAL);
}

int Poll(pollfd* fds, std::size_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}

bool ShouldRetry() {
  return errno == EINTR || errno == EAGAIN;
}

std::string LastError() {
  return std::strerror(errno);
}

void OpenWakePair(SocketHandle ends[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + LastError());
}

void Wake(SocketHandle writeEnd) {
  const char wake = 'x';
  while (::write(writeEnd, &wake, 1) < 0 && errno == EINTR) {
  }
}

#endif

}  // namespace sqlsim::net
