#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace quorvane::snapshot {

// One server of a many-server run, as its index row shows it.
struct FleetEntry {
  std::string server;  // as the servers file names it
  std::string status;  // "Report written", "Connection failed", ...
  std::string reason;  // why it did not complete; empty when it did
  double seconds = 0;  // the time its run took
  std::string report;  // file names beside the index; empty when not written
  std::string snapshot;
  std::string log;
  nlohmann::json facts;  // the snapshot's "server" object and exception count; null: none
};

// The index of a many-server run in the report's own look: one row per server, in the order of
// the servers file, with its status, version, edition, up-time, databases, exceptions, the time
// taken and links to its report, snapshot and log.
std::string FleetIndexHtml(const std::vector<FleetEntry>& entries);

// What an index row shows of a snapshot: its "server" object with "exceptions" added.
nlohmann::json FleetFacts(const nlohmann::json& snapshot);

}  // namespace quorvane::snapshot
