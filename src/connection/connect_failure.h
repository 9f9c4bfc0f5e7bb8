#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::connection {

// What was tried, for explaining a failed connection.
struct ConnectAttempt {
  std::string_view serverText;  // as the user gave it
  bool windowsAuthentication = false;
  int timeoutSeconds = 0;  // the login timeout; 0 waits as long as it takes
};

// True when the driver's text says no more than that the connection failed (FreeTDS's "Unable
// to connect to data source"), so that it needs an explanation: no server message number, or
// one of the driver's own (20000 and up).
bool IsGenericConnectFailure(int number, std::string_view message);

// For such a failure: finds out what stood in the way (a name that does not resolve, an address
// where nothing answers) and says what was tried and what usually causes it; for a server that
// answers, the usual cause of a failed Windows authentication from this computer. Nothing when it
// finds nothing to add.
std::optional<std::string> ExplainConnectFailure(const ConnectAttempt& attempt);

}  // namespace quorvane::connection
