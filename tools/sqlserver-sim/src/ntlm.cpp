#include "sqlserver_sim/ntlm.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>

#include "sqlserver_sim/text.h"

namespace sqlsim::ntlm {
namespace {

constexpr std::uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};

// Both digests share the Merkle-Damgard padding: 0x80, zeros, the bit length little-endian.
Bytes Pad(std::span<const std::uint8_t> data) {
  Bytes m(data.begin(), data.end());
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 0; i < 8; ++i) m.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  return m;
}

std::uint32_t Word(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

Digest FromState(const std::uint32_t (&h)[4]) {
  Digest out{};
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 4; ++b) {
      out[static_cast<std::size_t>(4 * i + b)] = static_cast<std::uint8_t>(h[i] >> (8 * b));
    }
  }
  return out;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A (length, max length, offset) field of an NTLM message.
std::span<const std::uint8_t> Field(std::span<const std::uint8_t> message, std::size_t at) {
  ByteReader r(message);
  r.Seek(at);
  const std::uint16_t length = r.U16();
  r.U16();
  const std::uint32_t offset = r.U32();
  if (static_cast<std::uint64_t>(offset) + length > message.size()) {
    throw ProtocolError("NTLM field at " + std::to_string(at) + " points outside the message");
  }
  return message.subspan(offset, length);
}

}  // namespace

Digest Md4(std::span<const std::uint8_t> data) {
  std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const Bytes m = Pad(data);
  for (std::size_t block = 0; block < m.size(); block += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Word(&m[block + 4 * static_cast<std::size_t>(i)]);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    static constexpr int kShift1[4] = {3, 7, 11, 19};
    static constexpr int kShift2[4] = {3, 5, 9, 13};
    static constexpr int kShift3[4] = {3, 9, 11, 15};
    static constexpr int kOrder2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    static constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int i = 0; i < 48; ++i) {
      std::uint32_t f = 0;
      int k = 0;
      int s = 0;
      if (i < 16) {
        f = (b & c) | (~b & d);
        k = i;
        s = kShift1[i % 4];
      } else if (i < 32) {
        f = ((b & c) | (b & d) | (c & d)) + 0x5A827999u;
        k = kOrder2[i - 16];
        s = kShift2[i % 4];
      } else {
        f = (b ^ c ^ d) + 0x6ED9EBA1u;
        k = kOrder3[i - 32];
        s = kShift3[i % 4];
      }
      const std::uint32_t rotated = std::rotl(a + f + x[k], s);
      a = d;
      d = c;
      c = b;
      b = rotated;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
  }
  return FromState(h);
}

Digest Md5(std::span<const std::uint8_t> data) {
  static const auto kSine = [] {
    std::array<std::uint32_t, 64> k{};
    for (std::size_t i = 0; i < 64; ++i) {
      k[i] = static_cast<std::uint32_t>(
          std::floor(std::fabs(std::sin(static_cast<double>(i + 1))) * 4294967296.0));
    }
    return k;
  }();
  static constexpr int kShift[4][4] = {
      {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const Bytes m = Pad(data);
  for (std::size_t block = 0; block < m.size(); block += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Word(&m[block + 4 * static_cast<std::size_t>(i)]);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t f = 0;
      int g = 0;
      const int round = i / 16;
      if (round == 0) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (round == 1) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (round == 2) {
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
      }
      const std::uint32_t next =
          b + std::rotl(a + f + kSine[static_cast<std::size_t>(i)] + x[g], kShift[round][i % 4]);
      a = d;
      d = c;
      c = b;
      b = next;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
  }
  return FromState(h);
}

Digest HmacMd5(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, 64> block{};
  if (key.size() > block.size()) {
    const Digest hashed = Md5(key);
    std::memcpy(block.data(), hashed.data(), hashed.size());
  } else if (!key.empty()) {
    std::memcpy(block.data(), key.data(), key.size());
  }
  Bytes inner(64);
  Bytes outer(64);
  for (std::size_t i = 0; i < 64; ++i) {
    inner[i] = block[i] ^ 0x36;
    outer[i] = block[i] ^ 0x5C;
  }
  inner.insert(inner.end(), data.begin(), data.end());
  const Digest innerHash = Md5(inner);
  outer.insert(outer.end(), innerHash.begin(), innerHash.end());
  return Md5(outer);
}

bool IsMessage(std::span<const std::uint8_t> message, std::uint32_t type) {
  return message.size() >= 12 && std::memcmp(message.data(), kSignature, 8) == 0 &&
         Word(message.data() + 8) == type;
}

Bytes BuildChallenge(const Challenge& serverChallenge, std::string_view domain,
                     std::string_view computer) {
  const Bytes target = Utf16ToLe(Utf8ToUtf16(domain));
  ByteWriter info;  // AV pairs: NetBIOS domain (2), NetBIOS computer (1), end (0)
  for (const auto& [id, value] :
       {std::pair<std::uint16_t, std::string_view>{2, domain}, {1, computer}}) {
    const Bytes v = Utf16ToLe(Utf8ToUtf16(value));
    info.U16(id);
    info.U16(static_cast<std::uint16_t>(v.size()));
    info.Append(v);
  }
  info.U32(0);
  // UNICODE, REQUEST_TARGET, NTLM, ALWAYS_SIGN, TARGET_TYPE_DOMAIN, EXTENDED_SESSIONSECURITY,
  // TARGET_INFO, 128, 56.
  const std::uint32_t flags = 0x00000001 | 0x00000004 | 0x00000200 | 0x00008000 | 0x00010000 |
                              0x00080000 | 0x00800000 | 0x20000000 | 0x80000000;
  constexpr std::uint32_t kHeader = 48;
  ByteWriter w;
  w.Append(kSignature);
  w.U32(2);
  w.U16(static_cast<std::uint16_t>(target.size()));
  w.U16(static_cast<std::uint16_t>(target.size()));
  w.U32(kHeader);
  w.U32(flags);
  w.Append(serverChallenge);
  w.U64(0);  // reserved
  w.U16(static_cast<std::uint16_t>(info.Size()));
  w.U16(static_cast<std::uint16_t>(info.Size()));
  w.U32(kHeader + static_cast<std::uint32_t>(target.size()));
  w.Append(target);
  w.Append(info.Data());
  return w.Take();
}

Authenticate ParseAuthenticate(std::span<const std::uint8_t> message) {
  if (!IsMessage(message, 3)) throw ProtocolError("expected an NTLM AUTHENTICATE message");
  Authenticate a;
  if (message.size() < 64) throw ProtocolError("NTLM AUTHENTICATE message too short");
  a.flags = Word(message.data() + 60);
  const bool unicode = (a.flags & 0x1) != 0;
  auto text = [&](std::span<const std::uint8_t> raw) {
    return unicode ? Utf16ToUtf8(Utf16FromLe(raw))
                   : Cp1252ToUtf8(std::string(raw.begin(), raw.end()));
  };
  const auto lm = Field(message, 12);
  const auto nt = Field(message, 20);
  a.lmResponse.assign(lm.begin(), lm.end());
  a.ntResponse.assign(nt.begin(), nt.end());
  a.domain = text(Field(message, 28));
  a.user = text(Field(message, 36));
  a.workstation = text(Field(message, 44));
  return a;
}

Digest NtOwfV2(std::string_view password, std::string_view user, std::string_view domain) {
  const Digest ntHash = Md4(Utf16ToLe(Utf8ToUtf16(password)));
  const Bytes identity = Utf16ToLe(Utf8ToUtf16(Upper(user) + std::string(domain)));
  return HmacMd5(ntHash, identity);
}

bool VerifyV2(const Authenticate& answer, std::string_view password,
              const Challenge& serverChallenge) {
  if (answer.ntResponse.size() <= 24) return false;
  const Digest key = NtOwfV2(password, answer.user, answer.domain);
  Bytes signedPart(serverChallenge.begin(), serverChallenge.end());
  signedPart.insert(signedPart.end(), answer.ntResponse.begin() + 16, answer.ntResponse.end());
  const Digest proof = HmacMd5(key, signedPart);
  return std::equal(proof.begin(), proof.end(), answer.ntResponse.begin());
}

}  // namespace sqlsim::ntlm
