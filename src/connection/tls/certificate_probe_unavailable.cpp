#include "connection/tls/certificate_probe.h"

// A build without OpenSSL (the Windows cross-build) cannot look at certificates.
namespace quorvane::connection {

bool CertificateProbeAvailable() {
  return false;
}

TlsFinding ProbeServerCertificate(const std::string&, int, const EncryptionOptions&, int) {
  return {TlsFinding::Kind::kCannotTell,
          "this program was built without OpenSSL and cannot examine the server's certificate",
          {},
          {},
          {},
          {},
          {}};
}

}  // namespace quorvane::connection
