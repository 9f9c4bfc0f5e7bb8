#include "connection/tls/tds_link.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvane::connection {

namespace {

constexpr std::size_t kPacketSize = 4096;
constexpr std::size_t kHeaderSize = 8;

}  // namespace

TdsLink::TdsLink(const std::string& host, int port, Clock::time_point deadline)
    : deadline_(deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      rc != 0) {
    throw TdsLinkError("cannot resolve " + host + ": " + ::gai_strerror(rc));
  }
  std::string failure = "no address";
  for (const addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
    fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd_ < 0) continue;
    if (::connect(fd_, a->ai_addr, a->ai_addrlen) != 0 &&
        (errno != EINPROGRESS || !Wait(POLLOUT) || SocketError() != 0)) {
      failure = std::strerror(errno);
      ::close(fd_);
      fd_ = -1;
    }
  }
  ::freeaddrinfo(found);
  if (fd_ < 0) throw TdsLinkError("cannot connect: " + failure);
}

TdsLink::~TdsLink() {
  ::close(fd_);
}

void TdsLink::Send(std::uint8_t type, std::span<const std::uint8_t> payload) {
  std::size_t offset = 0;
  std::uint8_t id = 1;
  do {
    const std::size_t chunk = std::min(kPacketSize - kHeaderSize, payload.size() - offset);
    const bool last = offset + chunk == payload.size();
    const auto length = static_cast<std::uint16_t>(chunk + kHeaderSize);
    Bytes packet{type,
                 static_cast<std::uint8_t>(last ? 0x01 : 0x00),
                 static_cast<std::uint8_t>(length >> 8),
                 static_cast<std::uint8_t>(length),
                 0,
                 0,
                 id++,
                 0};
    const auto from = payload.begin() + static_cast<std::ptrdiff_t>(offset);
    packet.insert(packet.end(), from, from + static_cast<std::ptrdiff_t>(chunk));
    Write(packet);
    offset += chunk;
  } while (offset < payload.size());
}

TdsLink::Bytes TdsLink::ReceivePacket(bool& last) {
  std::uint8_t header[kHeaderSize];
  Read(header, sizeof header);
  const std::size_t length = (std::size_t{header[2]} << 8) | header[3];
  if (length < sizeof header) throw TdsLinkError("the server sent a malformed packet");
  Bytes payload(length - sizeof header);
  Read(payload.data(), payload.size());
  last = (header[1] & 0x01) != 0;
  return payload;
}

TdsLink::Bytes TdsLink::ReceiveMessage() {
  Bytes message;
  for (bool last = false; !last;) {
    const Bytes packet = ReceivePacket(last);
    message.insert(message.end(), packet.begin(), packet.end());
  }
  return message;
}

bool TdsLink::Wait(short events) {
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) {
      errno = ETIMEDOUT;
      return false;
    }
    pollfd p{fd_, events, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(left));
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return false;
  }
}

int TdsLink::SocketError() const {
  int error = 0;
  socklen_t size = sizeof error;
  ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
  errno = error;
  return error;
}

void TdsLink::Write(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data = data.subspan(static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!Wait(POLLOUT)) throw TdsLinkError(std::string("cannot send: ") + std::strerror(errno));
    } else {
      throw TdsLinkError(std::string("cannot send: ") + std::strerror(errno));
    }
  }
}

void TdsLink::Read(std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd_, data, size, 0);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n == 0) {
      throw TdsLinkError("the server closed the connection");
    } else if (errno == EAGAIN || errno == EINTR) {
      if (!Wait(POLLIN)) throw TdsLinkError("the server did not answer in time");
    } else {
      throw TdsLinkError(std::string("cannot receive: ") + std::strerror(errno));
    }
  }
}

}  // namespace quorvane::connection
