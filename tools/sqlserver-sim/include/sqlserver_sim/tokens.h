#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/types.h"

// Encoders for the tokens of a tabular result stream.
namespace sqlsim {

enum Token : std::uint8_t {
  kTokenReturnStatus = 0x79,
  kTokenColMetadata = 0x81,
  kTokenError = 0xAA,
  kTokenInfo = 0xAB,
  kTokenReturnValue = 0xAC,
  kTokenLoginAck = 0xAD,
  kTokenRow = 0xD1,
  kTokenNbcRow = 0xD2,
  kTokenEnvChange = 0xE3,
  kTokenSspi = 0xED,
  kTokenDone = 0xFD,
  kTokenDoneProc = 0xFE,
  kTokenDoneInProc = 0xFF,
};

enum DoneStatus : std::uint16_t {
  kDoneFinal = 0x0000,
  kDoneMore = 0x0001,
  kDoneError = 0x0002,
  kDoneInTransaction = 0x0004,
  kDoneCount = 0x0010,
  kDoneAttention = 0x0020,
  kDoneServerError = 0x0100,
};

enum EnvChangeType : std::uint8_t {
  kEnvDatabase = 1,
  kEnvLanguage = 2,
  kEnvPacketSize = 4,
  kEnvCollation = 7,
  kEnvBeginTransaction = 8,
  kEnvCommitTransaction = 9,
  kEnvRollbackTransaction = 10,
};

// CurCmd values SQL Server puts in DONE tokens; clients only log them.
constexpr std::uint16_t kCmdSelect = 0xC1;
constexpr std::uint16_t kCmdExecute = 0xE0;

struct Column {
  std::string name;
  SqlType type;
  bool nullable = true;
};

// An ERROR or INFO message. SQL Server calls severity "class".
struct ServerMessage {
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t severity = 0;
  std::string text;
  std::string procedure;
  std::int32_t line = 1;
};

// The TDSVersion field of LOGINACK for a negotiated version (sent big-endian).
std::uint32_t LoginAckVersion(Tds version);

void WriteDone(ByteWriter& out, std::uint8_t token, std::uint16_t status, std::uint16_t curCmd,
               std::uint64_t rowCount, Tds version);
void WriteMessage(ByteWriter& out, bool isError, const ServerMessage& message,
                  std::string_view serverName, Tds version);
void WriteEnvChange(ByteWriter& out, std::uint8_t type, std::string_view newValue,
                    std::string_view oldValue);
void WriteEnvChangeBinary(ByteWriter& out, std::uint8_t type,
                          std::span<const std::uint8_t> newValue,
                          std::span<const std::uint8_t> oldValue);
void WriteLoginAck(ByteWriter& out, Tds version, std::string_view programName,
                   std::array<std::uint8_t, 4> programVersion);
void WriteColMetadata(ByteWriter& out, std::span<const Column> columns, Tds version);
// ROW, or NBCROW when a value is NULL and the client speaks 7.3+ (what SQL Server does).
void WriteRow(ByteWriter& out, std::span<const Column> columns, std::span<const Value> values,
              Tds version);
void WriteReturnStatus(ByteWriter& out, std::int32_t status);
// RETURNVALUE for an int OUTPUT parameter, such as the handle of sp_prepexec.
void WriteReturnValueInt(ByteWriter& out, std::uint16_t ordinal, std::string_view name,
                         std::optional<std::int32_t> value, Tds version);

}  // namespace sqlsim
