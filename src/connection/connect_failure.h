#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "connection/encryption.h"
#include "connection/tls_diagnosis.h"

namespace quorvane::connection {

// What was tried, for explaining a failed connection.
struct ConnectAttempt {
  std::string_view serverText;  // as the user gave it
  bool windowsAuthentication = false;
  int timeoutSeconds = 0;  // the login timeout; 0 waits as long as it takes
  EncryptionOptions encryption;
};

// For a connection that failed before the login was answered: why, where the driver's own words
// say little. A refused certificate or encryption first (`advice` names how the user changes
// it); otherwise, when the driver said no more than that the connection failed (no server
// message number, or one of FreeTDS's own from 20000 on), what stood in the way: a name that does
// not resolve, an address where nothing answers, or, for a server that answers, the usual cause of
// a failed Windows authentication from this computer. Nothing when there is nothing to add.
std::optional<std::string> ExplainRefusedConnection(const std::exception& error,
                                                    const ConnectAttempt& attempt,
                                                    const TlsAdvice& advice);

}  // namespace quorvane::connection
