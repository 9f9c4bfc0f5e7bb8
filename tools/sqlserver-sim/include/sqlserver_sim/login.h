#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "sqlserver_sim/bytes.h"

// The two messages of the connection handshake: PRELOGIN and LOGIN7.
namespace sqlsim {

enum PreloginOption : std::uint8_t {
  kPreloginVersion = 0x00,
  kPreloginEncryption = 0x01,
  kPreloginInstance = 0x02,
  kPreloginThreadId = 0x03,
  kPreloginMars = 0x04,
  kPreloginTerminator = 0xFF,
};

enum Encryption : std::uint8_t {
  kEncryptOff = 0x00,
  kEncryptOn = 0x01,
  kEncryptNotSupported = 0x02,
  kEncryptRequired = 0x03,
};

// Option token -> data. Throws ProtocolError on a malformed option table.
std::map<std::uint8_t, Bytes> ParsePrelogin(std::span<const std::uint8_t> payload);

// The server's PRELOGIN answer. ENCRYPT_NOT_SUP means no TLS at all; with ENCRYPT_OFF the
// client still wraps the LOGIN7 in TLS.
Bytes BuildPreloginResponse(std::array<std::uint8_t, 4> version, std::uint16_t subBuild,
                            std::uint8_t encryption = kEncryptNotSupported);

// SQL Server's answer to the client's ENCRYPTION option (a client that sends none counts as
// ENCRYPT_NOT_SUP): without a certificate NOT_SUP; with one, the client's wish (ON for REQ),
// but REQ to a client that is off or cannot when the server requires encryption.
std::uint8_t NegotiateEncryption(std::uint8_t client, bool haveCertificate, bool required);

struct Login7 {
  std::uint32_t tdsVersion = 0;  // as sent, e.g. 0x74000004
  std::uint32_t packetSize = 0;
  std::uint32_t clientProgramVersion = 0;
  std::uint32_t clientPid = 0;
  std::uint8_t optionFlags1 = 0;
  std::uint8_t optionFlags2 = 0;
  std::uint8_t typeFlags = 0;
  std::uint8_t optionFlags3 = 0;
  std::string hostName;
  std::string userName;
  std::string password;
  std::string appName;
  std::string serverName;
  std::string libraryName;
  std::string language;
  std::string database;
  Bytes sspi;

  bool IntegratedSecurity() const { return (optionFlags2 & 0x80) != 0; }
};

// Throws ProtocolError when offsets or lengths point outside the message.
Login7 ParseLogin7(std::span<const std::uint8_t> payload);

// LOGIN7 obfuscates the password: every byte of its UTF-16LE form has its nibbles swapped and
// is then XORed with 0xA5. These undo and redo that; strings are UTF-8.
std::string DecodePassword(std::span<const std::uint8_t> obfuscated);
Bytes EncodePassword(std::string_view password);

}  // namespace sqlsim
