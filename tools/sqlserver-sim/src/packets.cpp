#include "sqlserver_sim/packets.h"

#include <algorithm>
#include <string>

namespace sqlsim {

PacketHeader DecodePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize> raw) {
  PacketHeader h;
  h.type = raw[0];
  h.status = raw[1];
  h.length = static_cast<std::uint16_t>((raw[2] << 8) | raw[3]);
  h.spid = static_cast<std::uint16_t>((raw[4] << 8) | raw[5]);
  h.packetId = raw[6];
  h.window = raw[7];
  if (h.length < kPacketHeaderSize) {
    throw ProtocolError("packet length " + std::to_string(h.length) +
                        " is shorter than its header");
  }
  return h;
}

void EncodePacketHeader(ByteWriter& out, const PacketHeader& header) {
  out.U8(header.type);
  out.U8(header.status);
  out.U16BE(header.length);
  out.U16BE(header.spid);
  out.U8(header.packetId);
  out.U8(header.window);
}

Bytes FramePackets(std::uint8_t type, std::span<const std::uint8_t> payload, std::size_t packetSize,
                   std::uint16_t spid, std::uint8_t& packetId, bool endOfMessage) {
  if (packetSize <= kPacketHeaderSize || packetSize > 0xFFFF) {
    throw std::invalid_argument("packet size " + std::to_string(packetSize) + " is not usable");
  }
  const std::size_t room = packetSize - kPacketHeaderSize;
  ByteWriter out;
  std::size_t offset = 0;
  // An empty final message still needs one packet to carry EOM.
  do {
    const std::size_t chunk = std::min(room, payload.size() - offset);
    const bool last = offset + chunk == payload.size();
    PacketHeader h;
    h.type = type;
    h.status = (last && endOfMessage) ? kEndOfMessage : 0;
    h.length = static_cast<std::uint16_t>(chunk + kPacketHeaderSize);
    h.spid = spid;
    h.packetId = packetId++;
    EncodePacketHeader(out, h);
    out.Append(payload.subspan(offset, chunk));
    offset += chunk;
  } while (offset < payload.size());
  return out.Take();
}

std::optional<Message> MessageAssembler::Add(const PacketHeader& header,
                                             std::span<const std::uint8_t> body) {
  if (!inProgress_) {
    current_ = Message{header.type, header.status, {}};
    inProgress_ = true;
  } else if (header.type != current_.type) {
    throw ProtocolError("packet of type " + std::to_string(header.type) +
                        " inside a message of type " + std::to_string(current_.type));
  }
  if (current_.payload.size() + body.size() > kMaxMessageSize) {
    throw ProtocolError("client message larger than " + std::to_string(kMaxMessageSize) + " bytes");
  }
  current_.payload.insert(current_.payload.end(), body.begin(), body.end());
  if ((header.status & kEndOfMessage) == 0) return std::nullopt;
  inProgress_ = false;
  if ((header.status & kIgnoreMessage) != 0) {
    // The client abandoned the message; report it as an empty "ignored" message so the
    // caller can simply skip it.
    Message ignored{header.type, static_cast<std::uint8_t>(current_.status | kIgnoreMessage), {}};
    current_ = Message{};
    return ignored;
  }
  return std::move(current_);
}

}  // namespace sqlsim
