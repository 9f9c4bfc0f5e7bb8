#include "cli/fleet_servers.h"

#include "cli/cli_options.h"

namespace quorvane::cli {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    const std::size_t start = at;
    while (at < line.size() && !IsBlank(line[at])) ++at;
    if (at > start) words.emplace_back(line.substr(start, at - start));
  }
  return words;
}

}  // namespace

std::vector<FleetServer> ParseFleetServers(std::string_view text, const std::string& fileName) {
  std::vector<FleetServer> servers;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words.front().starts_with("#")) continue;
    const std::string where = fileName + " line " + std::to_string(number) + ": ";
    if (words.size() > 2) {
      throw UsageError{where + "a server and at most a login are expected, found " +
                       std::to_string(words.size()) + " words"};
    }
    try {
      CheckServerName(words[0]);
    } catch (const UsageError& error) {
      throw UsageError{where + error.message};
    }
    FleetServer server{words[0], std::nullopt};
    if (words.size() == 2) server.login = words[1];
    servers.push_back(std::move(server));
  }
  if (servers.empty()) throw UsageError{fileName + " names no server"};
  return servers;
}

}  // namespace quorvane::cli
