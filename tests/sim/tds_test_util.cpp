#include "tds_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iterator>
#include <stdexcept>

#include "sqlserver_sim/login.h"
#include "sqlserver_sim/text.h"

namespace sqlsim::testing {

Bytes BuildLogin7(const std::string& user, const std::string& password, const std::string& db,
                  std::uint32_t tdsVersion, std::uint8_t optionFlags2, std::uint32_t packetSize) {
  const std::u16string fields[] = {
      u"host", Utf8ToUtf16(user), Utf8ToUtf16(password), u"app", u"server", u"", u"lib",
      u"",     Utf8ToUtf16(db)};
  const std::size_t fixed = 94;
  ByteWriter data;
  ByteWriter offsets;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i == 5) {  // extension slot
      offsets.U16(0);
      offsets.U16(0);
      continue;
    }
    offsets.U16(static_cast<std::uint16_t>(fixed + data.Size()));
    offsets.U16(static_cast<std::uint16_t>(fields[i].size()));
    if (i == 2) {
      data.Append(EncodePassword(password));
    } else {
      data.Utf16(fields[i]);
    }
  }
  ByteWriter w;
  w.U32(static_cast<std::uint32_t>(fixed + data.Size()));
  w.U32(tdsVersion);
  w.U32(packetSize);
  w.U32(7);
  w.U32(1234);
  w.U32(0);
  w.U8(0xE0);
  w.U8(optionFlags2);
  w.U8(0);
  w.U8(0);
  w.U32(0);
  w.U32(0x409);
  w.Append(offsets.Data());
  for (int i = 0; i < 6; ++i) w.U8(0);   // client id
  for (int i = 0; i < 4; ++i) w.U16(0);  // SSPI, attach db file
  w.U32(0);                              // change password
  w.U32(0);                              // long SSPI length
  if (w.Size() != fixed) throw std::logic_error("LOGIN7 fixed part has the wrong size");
  w.Append(data.Data());
  return w.Take();
}

RawClient::RawClient(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd_);
    throw std::runtime_error("cannot connect to the simulator");
  }
}

RawClient::~RawClient() {
  ::close(fd_);
}

void RawClient::Send(std::uint8_t type, const Bytes& payload, std::size_t packetSize) {
  SendRaw(FramePackets(type, payload, packetSize, 0, packetId_));
}

void RawClient::ReadExact(std::uint8_t* data, std::size_t size, int timeoutMs) {
  std::size_t got = 0;
  while (got < size) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) throw std::runtime_error("timed out waiting for the server");
    const ssize_t n = ::recv(fd_, data + got, size - got, 0);
    if (n <= 0) throw std::runtime_error("connection closed by the server");
    got += static_cast<std::size_t>(n);
  }
}

Bytes RawClient::ReceivePacket(int timeoutMs) {
  std::uint8_t raw[kPacketHeaderSize];
  ReadExact(raw, sizeof raw, timeoutMs);
  const PacketHeader h = DecodePacketHeader(raw);
  received.push_back(h);
  Bytes body(h.length - kPacketHeaderSize);
  if (!body.empty()) ReadExact(body.data(), body.size(), timeoutMs);
  return body;
}

Bytes RawClient::Receive(int timeoutMs) {
  Bytes message;
  while (true) {
    const Bytes body = ReceivePacket(timeoutMs);
    message.insert(message.end(), body.begin(), body.end());
    if ((received.back().status & kEndOfMessage) != 0) return message;
  }
}

void RawClient::SendRaw(const Bytes& bytes) {
  if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("send failed");
  }
}

bool RawClient::ClosedByServer(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return false;
  std::uint8_t byte = 0;
  return ::recv(fd_, &byte, 1, 0) == 0;
}

Bytes RawClient::Login(const std::string& user, const std::string& password,
                       std::uint32_t tdsVersion, std::uint32_t packetSize) {
  // VERSION and ENCRYPTION (off) options, as a client sends them.
  Bytes prelogin = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                    0x01, 0xFF, 9,    0,    0,    0,    0,    0,    0x00};
  Send(kPrelogin, prelogin);
  Receive();
  Send(kLogin7, BuildLogin7(user, password, "master", tdsVersion, 0, packetSize));
  return Receive();
}

Bytes SqlBatch(const std::string& sql) {
  ByteWriter w;
  w.U32(22);
  w.U32(18);
  w.U16(2);
  w.U64(0);
  w.U32(1);
  w.Utf16(Utf8ToUtf16(sql));
  return w.Take();
}

}  // namespace sqlsim::testing
