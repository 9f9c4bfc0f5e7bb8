// NTLM pieces of Windows logins: the digests against their published test vectors, and the
// NTLMv2 check against the worked example of the NTLM documentation.
#include <gtest/gtest.h>

#include <string>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/ntlm.h"
#include "sqlserver_sim/text.h"

namespace sqlsim::ntlm {
namespace {

std::string Hex(const Digest& d) {
  std::string h = ToHex(d);
  for (char& c : h) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return h;
}

Bytes Ascii(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(Digests, Md4) {
  EXPECT_EQ(Hex(Md4(Ascii(""))), "31d6cfe0d16ae931b73c59d7e0c089c0");
  EXPECT_EQ(Hex(Md4(Ascii("a"))), "bde52cb31de33e46245e05fbdbd6fb24");
  EXPECT_EQ(Hex(Md4(Ascii("abc"))), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(Hex(Md4(Ascii("message digest"))), "d9130a8164549fe818874806e1c7014b");
  EXPECT_EQ(Hex(Md4(Ascii("abcdefghijklmnopqrstuvwxyz"))), "d79e1c308aa5bbcdeea8ed63df412da9");
  // The NT hash of "Password".
  EXPECT_EQ(Hex(Md4(Utf16ToLe(u"Password"))), "a4f49c406510bdcab6824ee7c30fd852");
}

TEST(Digests, Md5AndHmac) {
  EXPECT_EQ(Hex(Md5(Ascii(""))), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Hex(Md5(Ascii("The quick brown fox jumps over the lazy dog"))),
            "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(Hex(Md5(Bytes(1000, 'a'))), Hex(Md5(Bytes(1000, 'a'))));
  EXPECT_EQ(Hex(HmacMd5(Bytes(16, 0x0b), Ascii("Hi There"))), "9294727a3638bb1c13f48ef8158bfc9d");
  EXPECT_EQ(Hex(HmacMd5(Ascii("Jefe"), Ascii("what do ya want for nothing?"))),
            "750c783e6ab0b503eaa86e310a5db738");
  EXPECT_EQ(Hex(HmacMd5(Bytes(80, 0xaa),
                        Ascii("Test Using Larger Than Block-Size Key - Hash Key First"))),
            "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
}

// User "User", domain "Domain", password "Password", server challenge 0123456789abcdef, client
// challenge aa..aa, time 0, target information naming "Domain" and "Server".
Authenticate WorkedExample() {
  ByteWriter temp;
  temp.U8(1);
  temp.U8(1);
  temp.Append(Bytes(6, 0));
  temp.U64(0);
  temp.Append(Bytes(8, 0xaa));
  temp.U32(0);
  temp.U16(2);
  temp.U16(12);
  temp.Utf16(u"Domain");
  temp.U16(1);
  temp.U16(12);
  temp.Utf16(u"Server");
  temp.U32(0);
  temp.U32(0);
  Authenticate a;
  a.user = "User";
  a.domain = "Domain";
  const Bytes proof = {0x68, 0xcd, 0x0a, 0xb8, 0x51, 0xe5, 0x1c, 0x96,
                       0xaa, 0xbc, 0x92, 0x7b, 0xeb, 0xef, 0x6a, 0x1c};
  a.ntResponse = proof;
  a.ntResponse.insert(a.ntResponse.end(), temp.Data().begin(), temp.Data().end());
  return a;
}

constexpr Challenge kServerChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

TEST(NtlmV2, WorkedExampleVerifies) {
  EXPECT_EQ(Hex(NtOwfV2("Password", "User", "Domain")), "0c868a403bfd7a93a3001ef22ef02e3f");
  EXPECT_TRUE(VerifyV2(WorkedExample(), "Password", kServerChallenge));
}

TEST(NtlmV2, WrongPasswordChallengeOrResponseFails) {
  EXPECT_FALSE(VerifyV2(WorkedExample(), "password", kServerChallenge));
  Challenge other = kServerChallenge;
  other[0] ^= 1;
  EXPECT_FALSE(VerifyV2(WorkedExample(), "Password", other));
  Authenticate tampered = WorkedExample();
  tampered.ntResponse.back() ^= 1;
  EXPECT_FALSE(VerifyV2(tampered, "Password", kServerChallenge));
  Authenticate v1 = WorkedExample();
  v1.ntResponse.resize(24);
  EXPECT_FALSE(VerifyV2(v1, "Password", kServerChallenge));
}

TEST(NtlmMessages, ChallengeCarriesTheServerChallengeAndTargetInfo) {
  const Bytes m = BuildChallenge(kServerChallenge, "DOM", "SRV");
  ASSERT_TRUE(IsMessage(m, 2));
  EXPECT_FALSE(IsMessage(m, 3));
  EXPECT_EQ(Bytes(m.begin() + 24, m.begin() + 32),
            Bytes(kServerChallenge.begin(), kServerChallenge.end()));
  ByteReader r(m);
  r.Seek(12);
  EXPECT_EQ(r.U16(), 6);  // target name "DOM"
  r.Seek(40);
  const std::uint16_t infoLength = r.U16();
  r.U16();
  r.Seek(r.U32());
  EXPECT_EQ(r.U16(), 2);
  EXPECT_EQ(r.Utf16(r.U16() / 2), u"DOM");
  EXPECT_EQ(r.U16(), 1);
  EXPECT_EQ(r.Utf16(r.U16() / 2), u"SRV");
  EXPECT_EQ(r.U32(), 0u);
  EXPECT_EQ(infoLength, 4 + 6 + 4 + 6 + 4);
}

TEST(NtlmMessages, AuthenticateFieldsAreDecoded) {
  const Bytes nt(40, 0x11);
  const Bytes domain = Utf16ToLe(u"DOM");
  const Bytes user = Utf16ToLe(u"alice");
  ByteWriter w;
  w.Append(Ascii(std::string("NTLMSSP\0", 8)));
  w.U32(3);
  std::uint32_t offset = 64;
  auto field = [&](const Bytes& b) {
    w.U16(static_cast<std::uint16_t>(b.size()));
    w.U16(static_cast<std::uint16_t>(b.size()));
    w.U32(offset);
    offset += static_cast<std::uint32_t>(b.size());
  };
  field({});      // LM
  field(nt);      // NT
  field(domain);  // domain
  field(user);    // user
  field({});      // workstation
  field({});      // session key
  w.U32(0x1);     // unicode
  w.Append(nt);
  w.Append(domain);
  w.Append(user);
  const Authenticate a = ParseAuthenticate(w.Data());
  EXPECT_EQ(a.domain, "DOM");
  EXPECT_EQ(a.user, "alice");
  EXPECT_EQ(a.ntResponse, nt);
  Bytes broken = w.Take();
  broken[20] = 0xFF;  // NT response length beyond the message
  EXPECT_THROW(ParseAuthenticate(broken), ProtocolError);
}

}  // namespace
}  // namespace sqlsim::ntlm
