#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsim {

using Bytes = std::vector<std::uint8_t>;

// Raised when a client sends something the simulator cannot make sense of; the connection is
// closed, as SQL Server would.
struct ProtocolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Appends TDS wire fields. TDS is little-endian except for the packet header, PRELOGIN and the
// LOGINACK version, hence the explicit BE variants.
class ByteWriter {
 public:
  void U8(std::uint8_t v) { buf_.push_back(v); }
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void U64(std::uint64_t v);
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void U16BE(std::uint16_t v);
  void U32BE(std::uint32_t v);
  void Append(std::span<const std::uint8_t> data);
  void Append(std::string_view data);
  // Raw UTF-16LE code units.
  void Utf16(std::u16string_view s);
  // B_VARCHAR / US_VARCHAR: a character count (BYTE / USHORT) followed by UTF-16LE.
  void BVarchar(std::u16string_view s);
  void UsVarchar(std::u16string_view s);

  std::size_t Size() const { return buf_.size(); }
  void PatchU16(std::size_t pos, std::uint16_t v);
  const Bytes& Data() const { return buf_; }
  Bytes Take() { return std::move(buf_); }
  void Clear() { buf_.clear(); }

 private:
  Bytes buf_;
};

// Bounds-checked reader over a received message; every overrun is a ProtocolError naming `what`.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::uint64_t U64();
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::uint16_t U16BE();
  std::span<const std::uint8_t> Take(std::size_t n);
  std::u16string Utf16(std::size_t chars);
  void Skip(std::size_t n) { Take(n); }

  std::size_t Pos() const { return pos_; }
  void Seek(std::size_t pos);
  std::size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::span<const std::uint8_t> Whole() const { return data_; }

 private:
  void Need(std::size_t n) const;
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

std::string ToHex(std::span<const std::uint8_t> data);

}  // namespace sqlsim
