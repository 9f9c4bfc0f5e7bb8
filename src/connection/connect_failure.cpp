#include "connection/connect_failure.h"

#include <algorithm>

#include "connection/odbc_connection_string.h"
#include "connection/tcp_probe.h"
#include "data/database_error.h"

namespace quorvane::connection {

namespace {

constexpr int kDefaultPort = 1433;
// Long enough for a host across a slow link, short enough that nobody waits twice.
constexpr int kMaxProbeSeconds = 5;
// FreeTDS numbers its own messages from 20000 ("Unable to connect: Adaptive Server is
// unavailable or does not exist" is 20009).
constexpr int kFirstDriverMessage = 20000;

std::string Address(const std::string& host, int port) {
  return host + " port " + std::to_string(port);
}

bool IsGenericConnectFailure(int number, std::string_view message) {
  if (number > 0 && number < kFirstDriverMessage) return false;
  // A timeout names itself and its limit already.
  return message.find("timeout expired") == std::string_view::npos;
}

std::optional<std::string> ExplainConnectFailure(const ConnectAttempt& attempt) {
  DataSource source;
  try {
    source = ParseDataSource(attempt.serverText);
  } catch (const ConnectionStringError&) {
    return std::nullopt;  // the connection string said so already
  }
  if (source.protocol == "np" || source.protocol == "lpc") return std::nullopt;
  const int seconds = attempt.timeoutSeconds > 0
                          ? std::min(attempt.timeoutSeconds, kMaxProbeSeconds)
                          : kMaxProbeSeconds;
  const bool namedInstance = !source.port && !source.instance.empty();
  const int port = source.port.value_or(kDefaultPort);
  const TcpProbe probe = ProbeTcp(source.host, port, seconds);
  using Outcome = TcpProbe::Outcome;
  switch (probe.outcome) {
    case Outcome::kCannotTell:
      return std::nullopt;
    case Outcome::kUnknownName:
      return "The server name \"" + source.host + "\" could not be resolved to an address (" +
             probe.detail + "). Check the name, or give the server's IP address.";
    case Outcome::kRefused:
    case Outcome::kNoAnswer:
      if (namedInstance) {
        return "The port of the instance \"" + source.instance + "\" on " + source.host +
               " could not be found: the SQL Server Browser service (UDP port 1434) must be "
               "running and reachable there. Or give the port as " +
               source.host + ",PORT.";
      }
      if (probe.outcome == Outcome::kRefused) {
        return "Nothing answered at " + Address(source.host, port) +
               ": the connection was refused (" + probe.detail +
               "). Check that SQL Server runs there and listens on that TCP port (SQL Server "
               "Configuration Manager, TCP/IP)" +
               (source.port ? "." : "; give its port as HOST,PORT if it is not 1433.");
      }
      return "Nothing answered at " + Address(source.host, port) + " within " +
             std::to_string(seconds) + (seconds == 1 ? " second (" : " seconds (") + probe.detail +
             "): the host may be down, or a firewall drops the connection.";
    case Outcome::kAnswered:
      break;
  }
  if (attempt.windowsAuthentication && kThisPlatform == DriverPlatform::kUnix) {
    return "The server at " + Address(source.host, port) +
           " answers, so the Windows authentication failed: from this computer it goes "
           "through Kerberos, and FreeTDS needs a Kerberos ticket for your account (see "
           "\"klist\"; get one with \"kinit user@REALM\"). Or log in as DOMAIN\\user with that "
           "account's password, or with a SQL Server login.";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ExplainRefusedConnection(const std::exception& error,
                                                    const ConnectAttempt& attempt,
                                                    const TlsAdvice& advice) {
  if (auto why = ExplainEncryptionFailure(attempt.serverText, attempt.encryption,
                                          attempt.timeoutSeconds, advice)) {
    return why;
  }
  const auto* database = dynamic_cast<const data::DatabaseError*>(&error);
  if (!database || !IsGenericConnectFailure(database->number(), database->what())) {
    return std::nullopt;
  }
  return ExplainConnectFailure(attempt);
}

}  // namespace quorvane::connection
