#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::cli {

// One line of a servers file: the server as --server takes it, and a SQL Server login (none:
// Windows authentication).
struct FleetServer {
  std::string server;
  std::optional<std::string> login;
};

// Reads a servers file's text: one server per line, optionally followed by blanks and a login;
// blank lines and lines whose first character that is not a blank is # are left out. Throws
// UsageError naming `fileName` and the line.
std::vector<FleetServer> ParseFleetServers(std::string_view text, const std::string& fileName);

}  // namespace quorvane::cli
