#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "connection/encryption.h"
#include "connection/tls/certificate_probe.h"

namespace quorvane::connection {

// How the user changes what the advice names, in the words of the window or the command.
struct TlsAdvice {
  std::string trustCertificate;    // e.g. "--trust-server-certificate"
  std::string optionalEncryption;  // e.g. "--encrypt optional"
};

// The reason behind a refused connection that `finding` gives, for a database administrator,
// with what to do about it; nothing when it found nothing.
std::optional<std::string> ExplainTlsFinding(const TlsFinding& finding,
                                             const EncryptionOptions& encryption,
                                             const TlsAdvice& advice);

// For a connection that failed before its login with encryption that checks: looks at the
// server's encryption and certificate (the driver's own message seldom says more than "failed")
// and explains what it finds. Nothing for optional or strict encryption, a pipe, or a
// named instance without a port.
std::optional<std::string> ExplainEncryptionFailure(std::string_view serverText,
                                                    const EncryptionOptions& encryption,
                                                    int timeoutSeconds, const TlsAdvice& advice);

}  // namespace quorvane::connection
