#pragma once

#include <string>

namespace quorvane::connection {

// Whether a TCP connection to a host and port can be made, for explaining a failed login.
struct TcpProbe {
  enum class Outcome {
    kAnswered,     // the port accepted the connection
    kUnknownName,  // the name does not resolve
    kRefused,      // the host answered that nothing listens there
    kNoAnswer,     // nothing came back within the time given (or the host is unreachable)
    kCannotTell,   // not looked at on this platform
  };
  Outcome outcome = Outcome::kCannotTell;
  std::string detail;  // the resolver's or the system's words, for the message
};

TcpProbe ProbeTcp(const std::string& host, int port, int seconds);

}  // namespace quorvane::connection
