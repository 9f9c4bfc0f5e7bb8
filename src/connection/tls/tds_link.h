#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// The few TDS packets a look at the server's encryption needs, over a plain TCP connection.
namespace quorvane::connection {

// The connection could not be made, or the server hung up, or did not answer in time.
struct TdsLinkError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A TDS connection that moves whole packets, every wait bounded by one deadline. Throws
// TdsLinkError.
class TdsLink {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using Clock = std::chrono::steady_clock;

  TdsLink(const std::string& host, int port, Clock::time_point deadline);
  ~TdsLink();
  TdsLink(const TdsLink&) = delete;
  TdsLink& operator=(const TdsLink&) = delete;

  // `payload` as one message of `type`, in packets of at most 4096 bytes.
  void Send(std::uint8_t type, std::span<const std::uint8_t> payload);
  // One packet's payload; `last` tells whether it ends its message.
  Bytes ReceivePacket(bool& last);
  Bytes ReceiveMessage();

 private:
  bool Wait(short events);
  int SocketError() const;
  void Write(std::span<const std::uint8_t> data);
  void Read(std::uint8_t* data, std::size_t size);

  int fd_ = -1;
  Clock::time_point deadline_;
};

}  // namespace quorvane::connection
