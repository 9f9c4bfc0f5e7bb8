#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sqlserver_sim/bytes.h"

// Just enough NTLM for a Windows login (UID=DOMAIN\user with FreeTDS): the CHALLENGE the server
// sends and the check of the client's NTLMv2 answer against the scenario's password.
namespace sqlsim::ntlm {

using Digest = std::array<std::uint8_t, 16>;
using Challenge = std::array<std::uint8_t, 8>;

Digest Md4(std::span<const std::uint8_t> data);
Digest Md5(std::span<const std::uint8_t> data);
Digest HmacMd5(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data);

// True when `message` is an NTLMSSP message of `type` (1 NEGOTIATE, 2 CHALLENGE, 3 AUTHENTICATE).
bool IsMessage(std::span<const std::uint8_t> message, std::uint32_t type);

// The CHALLENGE answering a NEGOTIATE: target information names the domain and the server.
Bytes BuildChallenge(const Challenge& serverChallenge, std::string_view domain,
                     std::string_view computer);

struct Authenticate {
  std::string domain;
  std::string user;
  std::string workstation;
  Bytes lmResponse;
  Bytes ntResponse;
  std::uint32_t flags = 0;
};

// Throws ProtocolError when a field points outside the message.
Authenticate ParseAuthenticate(std::span<const std::uint8_t> message);

// NTOWFv2 and the NTProofStr of an NTLMv2 response. NTLMv1 answers (24 bytes) never verify.
Digest NtOwfV2(std::string_view password, std::string_view user, std::string_view domain);
bool VerifyV2(const Authenticate& answer, std::string_view password,
              const Challenge& serverChallenge);

}  // namespace sqlsim::ntlm
