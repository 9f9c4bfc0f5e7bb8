#pragma once

#include <string>
#include <vector>

#include "connection/encryption.h"

namespace quorvane::connection {

// What a look at the server's encryption found, when the driver said only that the connection
// failed.
struct TlsFinding {
  enum class Kind {
    kNothingFound,     // no fault of encryption: the certificate passes, or no server answered
    kCannotTell,       // no look was possible; `detail` says why
    kNoEncryption,     // the server offers no TLS at all
    kHandshakeFailed,  // `detail`: the TLS library's reason
    kUntrusted,        // `detail`: why the chain fails
    kExpired,
    kWrongName,  // the certificate does not hold `expectedName`
  };
  Kind kind = Kind::kNothingFound;
  std::string detail;
  std::string subject;  // the certificate's, as "CN=...,O=..."
  std::string issuer;
  std::vector<std::string> names;  // its DNS and IP names, else its common name
  std::string notAfter;
  std::string expectedName;
};

// True when this build can look at a server's certificate (it has OpenSSL).
bool CertificateProbeAvailable();

// Connects to host:port as a TDS 7 client asking for encryption, takes the server's
// certificate through the TLS handshake inside PRELOGIN packets and checks it as the driver
// does: against `encryption.caFile` or the system's trusted authorities, and for the host name
// (or `encryption.hostNameInCertificate`). A trusted certificate is not checked. Sends no login;
// gives up after `timeoutSeconds`.
TlsFinding ProbeServerCertificate(const std::string& host, int port,
                                  const EncryptionOptions& encryption, int timeoutSeconds);

}  // namespace quorvane::connection
