#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "sqlserver_sim/bytes.h"

namespace sqlsim {

// Message types carried in the first header byte.
enum PacketType : std::uint8_t {
  kSqlBatch = 0x01,
  kPreTds7Login = 0x02,
  kRpc = 0x03,
  kTabularResult = 0x04,
  kAttention = 0x06,
  kBulkLoad = 0x07,
  kTransactionManager = 0x0E,
  kLogin7 = 0x10,
  kSspi = 0x11,
  kPrelogin = 0x12,
};

// Header status bits.
enum PacketStatus : std::uint8_t {
  kEndOfMessage = 0x01,
  kIgnoreMessage = 0x02,
  kResetConnection = 0x08,
  kResetConnectionSkipTran = 0x10,
};

constexpr std::size_t kPacketHeaderSize = 8;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kDefaultPacketSize = 4096;

struct PacketHeader {
  std::uint8_t type = 0;
  std::uint8_t status = 0;
  std::uint16_t length = 0;  // header included
  std::uint16_t spid = 0;
  std::uint8_t packetId = 0;
  std::uint8_t window = 0;
};

// Throws ProtocolError when the length cannot even hold the header.
PacketHeader DecodePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize> raw);
void EncodePacketHeader(ByteWriter& out, const PacketHeader& header);

// Cuts `payload` into packets of at most `packetSize` bytes (header included). Only the last
// packet carries EOM, and only when `endOfMessage` is set: a response interrupted by a
// simulated delay goes out in pieces. `packetId` continues across calls, wrapping at 256.
Bytes FramePackets(std::uint8_t type, std::span<const std::uint8_t> payload, std::size_t packetSize,
                   std::uint16_t spid, std::uint8_t& packetId, bool endOfMessage = true);

struct Message {
  std::uint8_t type = 0;
  std::uint8_t status = 0;  // status of the first packet (reset-connection bits live there)
  Bytes payload;
};

// Joins client packets into messages. A packet whose type differs from the message being
// assembled is a protocol violation; an EOM packet flagged "ignore" discards the message.
class MessageAssembler {
 public:
  // Returns the completed message when `header` carries EOM.
  std::optional<Message> Add(const PacketHeader& header, std::span<const std::uint8_t> body);
  bool InProgress() const { return inProgress_; }

  // Guards against a client (or a bug) growing a message without bound.
  static constexpr std::size_t kMaxMessageSize = 64 * 1024 * 1024;

 private:
  Message current_;
  bool inProgress_ = false;
};

}  // namespace sqlsim
