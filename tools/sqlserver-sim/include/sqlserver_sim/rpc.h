#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sqlserver_sim/types.h"

// Decoding of RPC requests (packet type 3): what FreeTDS sends for prepared statements,
// sp_executesql and ODBC {call ...} escapes.
namespace sqlsim {

enum SpecialProc : std::uint16_t {
  kProcExecuteSql = 10,
  kProcPrepare = 11,
  kProcExecute = 12,
  kProcPrepExec = 13,
  kProcUnprepare = 15,
};

struct RpcParam {
  std::string name;         // "@stmt", or empty for positional parameters
  std::uint8_t status = 0;  // 0x01: OUTPUT
  std::uint8_t typeCode = 0;
  bool null = true;
  std::optional<std::int64_t> integer;  // set for integer and bit values
  std::string text;                     // character values, UTF-8
  std::string literal;                  // the value as T-SQL: 42, N'it''s', 0x0102, NULL

  bool IsOutput() const { return (status & 0x01) != 0; }
};

struct RpcCall {
  std::string procName;  // empty when procId names a well-known procedure
  std::uint16_t procId = 0;
  std::uint16_t options = 0;
  std::vector<RpcParam> params;

  // procName, or the name of the well-known procedure procId stands for.
  std::string Name() const;
};

// One message can hold several calls separated by a batch flag. Throws ProtocolError on
// malformed input and on parameter types the simulator does not decode (xml, UDT, TVP).
std::vector<RpcCall> ParseRpc(std::span<const std::uint8_t> payload, Tds version);

// Skips the ALL_HEADERS block that starts SQLBatch and RPC payloads from TDS 7.2 on.
std::size_t AllHeadersLength(std::span<const std::uint8_t> payload, Tds version);

// "exec name @a=1, N'x'": how a procedure call is shown in the batch log and matched against
// the scenario.
std::string CallText(const RpcCall& call);

}  // namespace sqlsim
