#pragma once

// Helpers for tests that speak TDS to the simulator directly, below any driver.

#include <cstdint>
#include <string>
#include <vector>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/packets.h"

namespace sqlsim::testing {

// A LOGIN7 message laid out the way a 7.4 client lays it out.
Bytes BuildLogin7(const std::string& user, const std::string& password, const std::string& db,
                  std::uint32_t tdsVersion = 0x74000004, std::uint8_t optionFlags2 = 0,
                  std::uint32_t packetSize = 4096);

// A blocking loopback client that sends and receives whole messages and remembers the
// headers of the packets it received.
class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  void Send(std::uint8_t type, const Bytes& payload, std::size_t packetSize = 4096);
  // The next message; throws on timeout or when the server closed the connection.
  Bytes Receive(int timeoutMs = 5000);
  // The next packet's payload; its header is appended to `received`.
  Bytes ReceivePacket(int timeoutMs = 5000);
  void SendRaw(const Bytes& bytes);
  // True when the server closed the connection (reads return end of file) within the time.
  bool ClosedByServer(int timeoutMs = 5000);
  // PRELOGIN and LOGIN7; returns the login response.
  Bytes Login(const std::string& user, const std::string& password,
              std::uint32_t tdsVersion = 0x74000004, std::uint32_t packetSize = 4096);

  std::vector<PacketHeader> received;  // every packet header received, in order

 private:
  void ReadExact(std::uint8_t* data, std::size_t size, int timeoutMs);
  int fd_ = -1;
  std::uint8_t packetId_ = 1;
};

// SQLBatch payload: ALL_HEADERS (transaction descriptor) and the UTF-16LE text.
Bytes SqlBatch(const std::string& sql);

}  // namespace sqlsim::testing
