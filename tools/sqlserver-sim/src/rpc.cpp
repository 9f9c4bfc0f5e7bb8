#include "sqlserver_sim/rpc.h"

#include <bit>
#include <charconv>
#include <cstring>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/text.h"

namespace sqlsim {
namespace {

std::string Quote(std::string_view s, bool unicode) {
  std::string out = unicode ? "N'" : "'";
  for (char c : s) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

std::string DoubleText(double d) {
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

std::int64_t ReadIntLe(std::span<const std::uint8_t> b, bool isSigned) {
  std::uint64_t v = 0;
  for (std::size_t i = b.size(); i-- > 0;) v = (v << 8) | b[i];
  if (isSigned && b.size() < 8 && (b.back() & 0x80) != 0) {
    v |= ~std::uint64_t{0} << (8 * b.size());
  }
  return static_cast<std::int64_t>(v);
}

std::string DateTimeText(std::span<const std::uint8_t> b) {
  DateTimeValue v;
  if (b.size() == 8) {
    const auto days = static_cast<std::int32_t>(ReadIntLe(b.subspan(0, 4), true));
    const auto ticks = static_cast<std::int64_t>(ReadIntLe(b.subspan(4, 4), false));
    v.days = days + kDaysTo1900;
    // Milliseconds the way SQL Server prints them: ticks * 10 / 3, rounded.
    v.nanos = (ticks * 10 + 1) / 3 * 1'000'000;
  } else if (b.size() == 4) {
    v.days = static_cast<std::int32_t>(ReadIntLe(b.subspan(0, 2), false)) + kDaysTo1900;
    v.nanos = ReadIntLe(b.subspan(2, 2), false) * 60'000'000'000LL;
  } else {
    throw ProtocolError("bad datetime parameter length " + std::to_string(b.size()));
  }
  return "'" + FormatDateTime(v, b.size() == 8 ? 3 : 0) + "'";
}

std::string TimeText(std::span<const std::uint8_t> b, int scale, bool withDate, int offsetBytes) {
  const std::size_t timeLength =
      b.size() - (withDate ? 3 : 0) - static_cast<std::size_t>(offsetBytes);
  if (timeLength > 5 || b.size() < timeLength) throw ProtocolError("bad time parameter");
  std::int64_t unit = 1;
  for (int i = 0; i < 9 - scale; ++i) unit *= 10;
  DateTimeValue v;
  v.nanos = ReadIntLe(b.subspan(0, timeLength), false) * unit;
  if (withDate) v.days = static_cast<std::int32_t>(ReadIntLe(b.subspan(timeLength, 3), false));
  std::string text = FormatDateTime(v, scale);
  if (!withDate) text = text.substr(11);
  if (offsetBytes == 2) {
    const auto minutes = ReadIntLe(b.subspan(timeLength + 3, 2), true);
    char buf[16];
    std::snprintf(buf, sizeof buf, " %c%02d:%02d", minutes < 0 ? '-' : '+',
                  static_cast<int>((minutes < 0 ? -minutes : minutes) / 60),
                  static_cast<int>((minutes < 0 ? -minutes : minutes) % 60));
    text += buf;  // the value itself is UTC; good enough for a log line
  }
  return "'" + text + "'";
}

// MONEY is two little-endian halves, most significant first; SMALLMONEY a single int.
std::string MoneyText(std::span<const std::uint8_t> b) {
  std::int64_t scaled = 0;
  if (b.size() == 8) {
    const auto hi = static_cast<std::uint64_t>(ReadIntLe(b.subspan(0, 4), true));
    const auto lo = static_cast<std::uint64_t>(ReadIntLe(b.subspan(4, 4), false));
    scaled = static_cast<std::int64_t>((hi << 32) | lo);
  } else if (b.size() == 4) {
    scaled = ReadIntLe(b, true);
  } else {
    throw ProtocolError("bad money parameter length " + std::to_string(b.size()));
  }
  Decimal d;
  d.negative = scaled < 0;
  const std::uint64_t mag =
      d.negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  d.magnitude = {static_cast<std::uint32_t>(mag), static_cast<std::uint32_t>(mag >> 32), 0, 0};
  return FormatDecimal(d, 4);
}

Bytes ReadPlp(ByteReader& r, bool& isNull) {
  const std::uint64_t total = r.U64();
  isNull = total == 0xFFFFFFFFFFFFFFFFull;
  Bytes out;
  if (isNull) return out;
  while (true) {
    const std::uint32_t chunk = r.U32();
    if (chunk == 0) break;
    auto data = r.Take(chunk);
    out.insert(out.end(), data.begin(), data.end());
  }
  return out;
}

void SetText(RpcParam& p, std::span<const std::uint8_t> raw, bool unicode) {
  p.null = false;
  p.text =
      unicode ? Utf16ToUtf8(Utf16FromLe(raw)) : Cp1252ToUtf8(std::string(raw.begin(), raw.end()));
  p.literal = Quote(p.text, unicode);
}

void SetBinary(RpcParam& p, std::span<const std::uint8_t> raw) {
  p.null = false;
  p.literal = "0x" + ToHex(raw);
}

// Reads TYPE_INFO and the value of one parameter.
void ReadTypedValue(ByteReader& r, RpcParam& p) {
  const std::uint8_t type = r.U8();
  p.typeCode = type;
  p.literal = "NULL";
  auto fixedInt = [&](std::size_t size, bool isSigned) {
    p.null = false;
    p.integer = ReadIntLe(r.Take(size), isSigned);
    p.literal = std::to_string(*p.integer);
  };
  switch (type) {
    case 0x1F:
      return;  // NULLTYPE
    case 0x30:
      fixedInt(1, false);
      return;
    case 0x32:
      fixedInt(1, false);
      return;
    case 0x34:
      fixedInt(2, true);
      return;
    case 0x38:
      fixedInt(4, true);
      return;
    case 0x7F:
      fixedInt(8, true);
      return;
    case 0x3B:
      p.null = false;
      p.literal = DoubleText(std::bit_cast<float>(static_cast<std::uint32_t>(r.U32())));
      return;
    case 0x3E:
      p.null = false;
      p.literal = DoubleText(std::bit_cast<double>(r.U64()));
      return;
    case 0x3C:
    case 0x7A:
      p.null = false;
      p.literal = MoneyText(r.Take(type == 0x3C ? 8 : 4));
      return;
    case 0x3D:
      p.null = false;
      p.literal = DateTimeText(r.Take(8));
      return;
    case 0x3A:
      p.null = false;
      p.literal = DateTimeText(r.Take(4));
      return;
    case 0x26:    // INTN
    case 0x68:    // BITN
    case 0x6D:    // FLTN
    case 0x6E:    // MONEYN
    case 0x6F:    // DATETIMN
    case 0x24: {  // GUID
      r.U8();     // maximum length
      const std::uint8_t length = r.U8();
      if (length == 0) return;
      auto raw = r.Take(length);
      p.null = false;
      if (type == 0x26 || type == 0x68) {
        p.integer = ReadIntLe(raw, type == 0x26 && length > 1);
        p.literal = std::to_string(*p.integer);
      } else if (type == 0x6D) {
        p.literal = length == 4 ? DoubleText(std::bit_cast<float>(
                                      static_cast<std::uint32_t>(ReadIntLe(raw, false))))
                                : DoubleText(std::bit_cast<double>(
                                      static_cast<std::uint64_t>(ReadIntLe(raw, false))));
      } else if (type == 0x6E) {
        p.literal = MoneyText(raw);
      } else if (type == 0x6F) {
        p.literal = DateTimeText(raw);
      } else {
        p.text = FormatGuid(raw);
        p.literal = "'" + p.text + "'";
      }
      return;
    }
    case 0x6A:
    case 0x6C: {
      r.U8();  // maximum length
      r.U8();  // precision
      const int scale = r.U8();
      const std::uint8_t length = r.U8();
      if (length == 0) return;
      auto raw = r.Take(length);
      if (length > 17) throw ProtocolError("decimal parameter longer than 17 bytes");
      Decimal d;
      d.negative = raw[0] == 0;
      for (std::size_t i = 1; i < raw.size(); ++i) {
        d.magnitude[(i - 1) / 4] |= static_cast<std::uint32_t>(raw[i]) << (8 * ((i - 1) % 4));
      }
      p.null = false;
      p.literal = FormatDecimal(d, scale);
      return;
    }
    case 0x28: {
      const std::uint8_t length = r.U8();
      if (length == 0) return;
      auto raw = r.Take(length);
      DateTimeValue v;
      v.days = static_cast<std::int32_t>(ReadIntLe(raw, false));
      p.null = false;
      p.literal = "'" + FormatDateTime(v, 0).substr(0, 10) + "'";
      return;
    }
    case 0x29:
    case 0x2A:
    case 0x2B: {
      const int scale = r.U8();
      const std::uint8_t length = r.U8();
      if (length == 0) return;
      if (scale > 7) throw ProtocolError("time scale above 7");
      p.null = false;
      p.literal = TimeText(r.Take(length), scale, type != 0x29, type == 0x2B ? 2 : 0);
      return;
    }
    case 0xA7:
    case 0xAF:
    case 0xE7:
    case 0xEF:
    case 0xA5:
    case 0xAD: {
      const std::uint16_t maxLength = r.U16();
      const bool character = type != 0xA5 && type != 0xAD;
      const bool unicode = type == 0xE7 || type == 0xEF;
      if (character) r.Skip(5);  // collation
      if (maxLength == 0xFFFF) {
        bool isNull = false;
        const Bytes data = ReadPlp(r, isNull);
        if (isNull) return;
        if (character) {
          SetText(p, data, unicode);
        } else {
          SetBinary(p, data);
        }
        return;
      }
      const std::uint16_t length = r.U16();
      if (length == 0xFFFF) return;
      auto raw = r.Take(length);
      if (character) {
        SetText(p, raw, unicode);
      } else {
        SetBinary(p, raw);
      }
      return;
    }
    case 0x23:
    case 0x63:
    case 0x22: {
      r.U32();  // maximum length
      if (type != 0x22) r.Skip(5);
      const std::uint32_t length = r.U32();
      if (length == 0xFFFFFFFF) return;
      auto raw = r.Take(length);
      if (type == 0x22) {
        SetBinary(p, raw);
      } else {
        SetText(p, raw, type == 0x63);
      }
      return;
    }
    default:
      throw ProtocolError("RPC parameter of type 0x" +
                          ToHex(std::span<const std::uint8_t>(&type, 1)) +
                          " is not supported by the simulator");
  }
}

}  // namespace

std::string RpcCall::Name() const {
  if (!procName.empty()) return procName;
  switch (procId) {
    case 1:
      return "sp_cursor";
    case 2:
      return "sp_cursoropen";
    case 3:
      return "sp_cursorprepare";
    case 4:
      return "sp_cursorexecute";
    case 5:
      return "sp_cursorprepexec";
    case 6:
      return "sp_cursorunprepare";
    case 7:
      return "sp_cursorfetch";
    case 8:
      return "sp_cursoroption";
    case 9:
      return "sp_cursorclose";
    case kProcExecuteSql:
      return "sp_executesql";
    case kProcPrepare:
      return "sp_prepare";
    case kProcExecute:
      return "sp_execute";
    case kProcPrepExec:
      return "sp_prepexec";
    case 14:
      return "sp_prepexecrpc";
    case kProcUnprepare:
      return "sp_unprepare";
    default:
      return "procedure id " + std::to_string(procId);
  }
}

std::size_t AllHeadersLength(std::span<const std::uint8_t> payload, Tds version) {
  if (version < Tds::V72) return 0;
  ByteReader r(payload);
  const std::uint32_t total = r.U32();
  if (total < 4 || total > payload.size()) {
    throw ProtocolError("ALL_HEADERS length " + std::to_string(total) +
                        " does not fit the message");
  }
  return total;
}

std::vector<RpcCall> ParseRpc(std::span<const std::uint8_t> payload, Tds version) {
  ByteReader r(payload);
  r.Seek(AllHeadersLength(payload, version));
  std::vector<RpcCall> calls;
  while (!r.AtEnd()) {
    RpcCall call;
    const std::uint16_t nameLength = r.U16();
    if (nameLength == 0xFFFF) {
      call.procId = r.U16();
    } else {
      call.procName = Utf16ToUtf8(r.Utf16(nameLength));
    }
    call.options = r.U16();
    while (!r.AtEnd()) {
      const std::uint8_t next = r.Whole()[r.Pos()];
      // 0x80 (7.2+) / 0xFF (7.1) separate batched calls; 0xFE means "no exec".
      if (next == 0x80 || next == 0xFF || next == 0xFE) {
        r.U8();
        break;
      }
      RpcParam p;
      const std::uint8_t nameChars = r.U8();
      p.name = Utf16ToUtf8(r.Utf16(nameChars));
      p.status = r.U8();
      ReadTypedValue(r, p);
      call.params.push_back(std::move(p));
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

std::string CallText(const RpcCall& call) {
  std::string text = "exec " + call.Name();
  bool first = true;
  for (const RpcParam& p : call.params) {
    text += first ? " " : ", ";
    first = false;
    if (!p.name.empty()) text += p.name + "=";
    text += p.literal;
    if (p.IsOutput()) text += " output";
  }
  return text;
}

}  // namespace sqlsim
