#include "sqlserver_sim/tokens.h"

#include <algorithm>
#include <stdexcept>

#include "sqlserver_sim/text.h"

namespace sqlsim {
namespace {

// Tokens whose body starts with a USHORT length get it patched in once the body is written.
class LengthPrefixed {
 public:
  LengthPrefixed(ByteWriter& out, std::uint8_t token) : out_(out) {
    out_.U8(token);
    lengthPos_ = out_.Size();
    out_.U16(0);
  }
  ~LengthPrefixed() = default;
  void Finish() {
    const std::size_t length = out_.Size() - lengthPos_ - 2;
    if (length > 0xFFFF) throw std::length_error("token longer than 65535 bytes");
    out_.PatchU16(lengthPos_, static_cast<std::uint16_t>(length));
  }

 private:
  ByteWriter& out_;
  std::size_t lengthPos_ = 0;
};

}  // namespace

std::uint32_t LoginAckVersion(Tds version) {
  switch (version) {
    case Tds::V71:
      return 0x71000001;
    case Tds::V72:
      return 0x72090002;
    case Tds::V73:
      return 0x730B0003;
    case Tds::V74:
      return 0x74000004;
  }
  return 0x74000004;
}

void WriteDone(ByteWriter& out, std::uint8_t token, std::uint16_t status, std::uint16_t curCmd,
               std::uint64_t rowCount, Tds version) {
  out.U8(token);
  out.U16(status);
  out.U16(curCmd);
  if (version >= Tds::V72) {
    out.U64(rowCount);
  } else {
    out.U32(static_cast<std::uint32_t>(std::min<std::uint64_t>(rowCount, 0xFFFFFFFFu)));
  }
}

void WriteMessage(ByteWriter& out, bool isError, const ServerMessage& m,
                  std::string_view serverName, Tds version) {
  LengthPrefixed token(out, isError ? kTokenError : kTokenInfo);
  out.I32(m.number);
  out.U8(m.state);
  out.U8(m.severity);
  out.UsVarchar(Utf8ToUtf16(m.text));
  out.BVarchar(Utf8ToUtf16(serverName));
  out.BVarchar(Utf8ToUtf16(m.procedure));
  if (version >= Tds::V72) {
    out.I32(m.line);
  } else {
    out.U16(static_cast<std::uint16_t>(m.line));
  }
  token.Finish();
}

void WriteEnvChange(ByteWriter& out, std::uint8_t type, std::string_view newValue,
                    std::string_view oldValue) {
  LengthPrefixed token(out, kTokenEnvChange);
  out.U8(type);
  out.BVarchar(Utf8ToUtf16(newValue));
  out.BVarchar(Utf8ToUtf16(oldValue));
  token.Finish();
}

void WriteEnvChangeBinary(ByteWriter& out, std::uint8_t type,
                          std::span<const std::uint8_t> newValue,
                          std::span<const std::uint8_t> oldValue) {
  LengthPrefixed token(out, kTokenEnvChange);
  out.U8(type);
  out.U8(static_cast<std::uint8_t>(newValue.size()));
  out.Append(newValue);
  out.U8(static_cast<std::uint8_t>(oldValue.size()));
  out.Append(oldValue);
  token.Finish();
}

void WriteLoginAck(ByteWriter& out, Tds version, std::string_view programName,
                   std::array<std::uint8_t, 4> programVersion) {
  LengthPrefixed token(out, kTokenLoginAck);
  out.U8(1);  // SQL_TSQL
  out.U32BE(LoginAckVersion(version));
  out.BVarchar(Utf8ToUtf16(programName));
  out.Append(programVersion);
  token.Finish();
}

void WriteColMetadata(ByteWriter& out, std::span<const Column> columns, Tds version) {
  out.U8(kTokenColMetadata);
  out.U16(static_cast<std::uint16_t>(columns.size()));
  for (const Column& c : columns) {
    if (version >= Tds::V72) {
      out.U32(0);
    } else {
      out.U16(0);
    }
    out.U16(c.nullable ? 0x0001 : 0x0000);
    WriteTypeInfo(out, c.type, c.nullable, version);
    out.BVarchar(Utf8ToUtf16(c.name));
  }
}

void WriteRow(ByteWriter& out, std::span<const Column> columns, std::span<const Value> values,
              Tds version) {
  if (columns.size() != values.size()) throw std::logic_error("row width differs from metadata");
  const bool anyNull =
      std::any_of(values.begin(), values.end(), [](const Value& v) { return v.null; });
  if (anyNull && version >= Tds::V73) {
    out.U8(kTokenNbcRow);
    Bytes bitmap((columns.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i].null)
        bitmap[i / 8] = static_cast<std::uint8_t>(bitmap[i / 8] | (1u << (i % 8)));
    }
    out.Append(bitmap);
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!values[i].null)
        WriteValue(out, columns[i].type, columns[i].nullable, values[i], version);
    }
    return;
  }
  out.U8(kTokenRow);
  for (std::size_t i = 0; i < values.size(); ++i) {
    WriteValue(out, columns[i].type, columns[i].nullable, values[i], version);
  }
}

void WriteReturnStatus(ByteWriter& out, std::int32_t status) {
  out.U8(kTokenReturnStatus);
  out.I32(status);
}

void WriteReturnValueInt(ByteWriter& out, std::uint16_t ordinal, std::string_view name,
                         std::optional<std::int32_t> value, Tds version) {
  out.U8(kTokenReturnValue);
  out.U16(ordinal);
  out.BVarchar(Utf8ToUtf16(name));
  out.U8(0x01);  // output parameter
  if (version >= Tds::V72) {
    out.U32(0);
  } else {
    out.U16(0);
  }
  out.U16(0x0001);  // nullable
  const SqlType intType{SqlKind::Int, 0, 0, 0};
  WriteTypeInfo(out, intType, true, version, false);
  Value v;
  if (value) {
    v.null = false;
    v.integer = *value;
  }
  WriteValue(out, intType, true, v, version);
}

}  // namespace sqlsim
