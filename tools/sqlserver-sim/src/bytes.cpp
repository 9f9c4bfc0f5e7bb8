#include "sqlserver_sim/bytes.h"

#include <string>

namespace sqlsim {

void ByteWriter::U16(std::uint16_t v) {
  buf_.push_back(static_cast<std::uint8_t>(v));
  buf_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) buf_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::U64(std::uint64_t v) {
  for (int i = 0; i < 8; ++i) buf_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::U16BE(std::uint16_t v) {
  buf_.push_back(static_cast<std::uint8_t>(v >> 8));
  buf_.push_back(static_cast<std::uint8_t>(v));
}

void ByteWriter::U32BE(std::uint32_t v) {
  for (int i = 3; i >= 0; --i) buf_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::Append(std::span<const std::uint8_t> data) {
  buf_.insert(buf_.end(), data.begin(), data.end());
}

void ByteWriter::Append(std::string_view data) {
  buf_.insert(buf_.end(), data.begin(), data.end());
}

void ByteWriter::Utf16(std::u16string_view s) {
  for (char16_t c : s) U16(static_cast<std::uint16_t>(c));
}

void ByteWriter::BVarchar(std::u16string_view s) {
  if (s.size() > 0xFF) throw std::length_error("B_VARCHAR longer than 255 characters");
  U8(static_cast<std::uint8_t>(s.size()));
  Utf16(s);
}

void ByteWriter::UsVarchar(std::u16string_view s) {
  if (s.size() > 0xFFFF) throw std::length_error("US_VARCHAR longer than 65535 characters");
  U16(static_cast<std::uint16_t>(s.size()));
  Utf16(s);
}

void ByteWriter::PatchU16(std::size_t pos, std::uint16_t v) {
  buf_.at(pos) = static_cast<std::uint8_t>(v);
  buf_.at(pos + 1) = static_cast<std::uint8_t>(v >> 8);
}

void ByteReader::Need(std::size_t n) const {
  if (n > data_.size() - pos_) {
    throw ProtocolError("message truncated: needed " + std::to_string(n) + " bytes at offset " +
                        std::to_string(pos_) + " of " + std::to_string(data_.size()));
  }
}

std::uint8_t ByteReader::U8() {
  Need(1);
  return data_[pos_++];
}

std::uint16_t ByteReader::U16() {
  Need(2);
  std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

std::uint32_t ByteReader::U32() {
  Need(4);
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ + static_cast<std::size_t>(i)];
  pos_ += 4;
  return v;
}

std::uint64_t ByteReader::U64() {
  Need(8);
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | data_[pos_ + static_cast<std::size_t>(i)];
  pos_ += 8;
  return v;
}

std::uint16_t ByteReader::U16BE() {
  Need(2);
  std::uint16_t v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
  pos_ += 2;
  return v;
}

std::span<const std::uint8_t> ByteReader::Take(std::size_t n) {
  Need(n);
  auto out = data_.subspan(pos_, n);
  pos_ += n;
  return out;
}

std::u16string ByteReader::Utf16(std::size_t chars) {
  auto raw = Take(chars * 2);
  std::u16string out(chars, u'\0');
  for (std::size_t i = 0; i < chars; ++i) {
    out[i] = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  }
  return out;
}

void ByteReader::Seek(std::size_t pos) {
  if (pos > data_.size()) {
    throw ProtocolError("offset " + std::to_string(pos) + " beyond the end of a " +
                        std::to_string(data_.size()) + "-byte message");
  }
  pos_ = pos;
}

std::string ToHex(std::span<const std::uint8_t> data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 2);
  for (std::uint8_t b : data) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

}  // namespace sqlsim
