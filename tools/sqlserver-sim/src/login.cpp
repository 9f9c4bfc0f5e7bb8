#include "sqlserver_sim/login.h"

#include "sqlserver_sim/text.h"

namespace sqlsim {

std::map<std::uint8_t, Bytes> ParsePrelogin(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  std::map<std::uint8_t, Bytes> options;
  while (true) {
    const std::uint8_t token = r.U8();
    if (token == kPreloginTerminator) break;
    const std::uint16_t offset = r.U16BE();
    const std::uint16_t length = r.U16BE();
    if (static_cast<std::size_t>(offset) + length > payload.size()) {
      throw ProtocolError("PRELOGIN option " + std::to_string(token) +
                          " points outside the message");
    }
    auto data = payload.subspan(offset, length);
    options[token] = Bytes(data.begin(), data.end());
  }
  return options;
}

std::uint8_t NegotiateEncryption(std::uint8_t client, bool haveCertificate, bool required) {
  if (!haveCertificate) return kEncryptNotSupported;
  if (client == kEncryptOn || client == kEncryptRequired) return kEncryptOn;
  if (required) return kEncryptRequired;
  return client == kEncryptOff ? kEncryptOff : kEncryptNotSupported;
}

Bytes BuildPreloginResponse(std::array<std::uint8_t, 4> version, std::uint16_t subBuild,
                            std::uint8_t encryption) {
  struct Option {
    std::uint8_t token;
    Bytes data;
  };
  const Option options[] = {
      {kPreloginVersion,
       // major, minor, build (big-endian), sub-build (big-endian)
       {version[0], version[1], version[2], version[3], static_cast<std::uint8_t>(subBuild >> 8),
        static_cast<std::uint8_t>(subBuild)}},
      {kPreloginEncryption, {encryption}},
      {kPreloginInstance, {0x00}},
      {kPreloginThreadId, {}},
      {kPreloginMars, {0x00}},
  };
  const std::size_t tableSize = std::size(options) * 5 + 1;
  ByteWriter table;
  ByteWriter data;
  for (const Option& o : options) {
    table.U8(o.token);
    table.U16BE(static_cast<std::uint16_t>(tableSize + data.Size()));
    table.U16BE(static_cast<std::uint16_t>(o.data.size()));
    data.Append(o.data);
  }
  table.U8(kPreloginTerminator);
  table.Append(data.Data());
  return table.Take();
}

std::string DecodePassword(std::span<const std::uint8_t> obfuscated) {
  Bytes plain(obfuscated.begin(), obfuscated.end());
  for (auto& b : plain) {
    b ^= 0xA5;
    b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  }
  return Utf16ToUtf8(Utf16FromLe(plain));
}

Bytes EncodePassword(std::string_view password) {
  Bytes bytes = Utf16ToLe(Utf8ToUtf16(password));
  for (auto& b : bytes) {
    b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
    b ^= 0xA5;
  }
  return bytes;
}

Login7 ParseLogin7(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  Login7 login;
  const std::uint32_t declaredLength = r.U32();
  if (declaredLength > payload.size()) {
    throw ProtocolError("LOGIN7 declares " + std::to_string(declaredLength) + " bytes but has " +
                        std::to_string(payload.size()));
  }
  login.tdsVersion = r.U32();
  login.packetSize = r.U32();
  login.clientProgramVersion = r.U32();
  login.clientPid = r.U32();
  r.U32();  // connection id
  login.optionFlags1 = r.U8();
  login.optionFlags2 = r.U8();
  login.typeFlags = r.U8();
  login.optionFlags3 = r.U8();
  r.U32();  // time zone
  r.U32();  // LCID

  // (offset, length) pairs; lengths count UTF-16 characters.
  auto field = [&](bool obfuscated = false) {
    const std::uint16_t offset = r.U16();
    const std::uint16_t chars = r.U16();
    const std::size_t bytes = static_cast<std::size_t>(chars) * 2;
    if (chars == 0) return std::string();
    if (static_cast<std::size_t>(offset) + bytes > payload.size()) {
      throw ProtocolError("LOGIN7 field at offset " + std::to_string(offset) +
                          " runs past the message");
    }
    auto raw = payload.subspan(offset, bytes);
    return obfuscated ? DecodePassword(raw) : Utf16ToUtf8(Utf16FromLe(raw));
  };
  login.hostName = field();
  login.userName = field();
  login.password = field(true);
  login.appName = field();
  login.serverName = field();
  r.Skip(4);  // extension / unused
  login.libraryName = field();
  login.language = field();
  login.database = field();
  r.Skip(6);  // client MAC address
  const std::uint16_t sspiOffset = r.U16();
  std::uint32_t sspiLength = r.U16();
  r.Skip(4);  // attach db file
  if (login.tdsVersion >= 0x72000000) {
    r.Skip(4);  // change password
    const std::uint32_t longLength = r.U32();
    if (sspiLength == 0xFFFF) sspiLength = longLength;
  }
  if (sspiLength > 0) {
    if (static_cast<std::size_t>(sspiOffset) + sspiLength > payload.size()) {
      throw ProtocolError("LOGIN7 SSPI data runs past the message");
    }
    auto raw = payload.subspan(sspiOffset, sspiLength);
    login.sspi.assign(raw.begin(), raw.end());
  }
  return login;
}

}  // namespace sqlsim
