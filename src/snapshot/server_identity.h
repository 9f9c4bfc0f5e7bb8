#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "data/row_set.h"

namespace quorvane::snapshot {

// The server's identity as the run read it on the way: name, instance, version, edition,
// collation, start and up-time from their single-value queries, and the number of databases
// from sp_helpdb. It asks nothing of the server itself.
class ServerIdentity {
 public:
  void QueryStarted(std::string_view command);
  void ResultSetStarted(const std::vector<data::Field>& fields);
  void RowFetched(const std::vector<data::Value>& row);
  void ResultSetEnded() { watched_ = Fact::kNone; }

  // {"name", "instance", "version", "productLevel", "edition", "collation", "started",
  // "upTimeDays", "databases"}; null for what the run did not get (a default instance has a
  // null instance name).
  nlohmann::json ToJson() const;

 private:
  enum class Fact {
    kNone,
    kName,
    kInstance,
    kVersion,
    kProductLevel,
    kEdition,
    kCollation,
    kStarted,
    kUpTime,
    kDatabases,
    kCount
  };

  std::string command_;
  bool firstResultOfCommand_ = false;
  Fact watched_ = Fact::kNone;
  bool firstRow_ = false;
  std::vector<nlohmann::json> facts_ = std::vector<nlohmann::json>(static_cast<int>(Fact::kCount));
  std::optional<std::int64_t> databases_;
};

}  // namespace quorvane::snapshot
