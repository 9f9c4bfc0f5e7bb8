#include "snapshot/server_identity.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "report/text.h"
#include "snapshot/json_text.h"

namespace quorvane::snapshot {

void ServerIdentity::QueryStarted(std::string_view command) {
  command_ = report::AsciiLowerCase(command);
  firstResultOfCommand_ = true;
}

void ServerIdentity::ResultSetStarted(const std::vector<data::Field>& fields) {
  static constexpr std::array<std::pair<std::string_view, Fact>, 6> kProperties = {{
      {"serverproperty('servername')", Fact::kName},
      {"serverproperty('instancename')", Fact::kInstance},
      {"serverproperty('productversion')", Fact::kVersion},
      {"serverproperty('productlevel')", Fact::kProductLevel},
      {"serverproperty('edition')", Fact::kEdition},
      {"serverproperty('collation')", Fact::kCollation},
  }};
  const bool first = std::exchange(firstResultOfCommand_, false);
  watched_ = Fact::kNone;
  firstRow_ = true;
  if (!first || fields.empty()) return;
  for (const auto& [property, fact] : kProperties) {
    if (command_.find(property) != std::string::npos) watched_ = fact;
  }
  // The start and up-time queries name their columns; a walk of the catalogue may not.
  if (fields.front().name == "SQL Server Started") watched_ = Fact::kStarted;
  if (fields.front().name == "Up-Time (Days)") watched_ = Fact::kUpTime;
  if (command_.find("sp_helpdb") != std::string::npos && fields.front().name == "name") {
    watched_ = Fact::kDatabases;
    databases_ = 0;
  }
}

void ServerIdentity::RowFetched(const std::vector<data::Value>& row) {
  if (watched_ == Fact::kDatabases) {
    ++*databases_;
    return;
  }
  if (watched_ == Fact::kNone || !std::exchange(firstRow_, false) || row.empty()) return;
  const data::Value& value = row.front();
  nlohmann::json& fact = facts_[static_cast<int>(watched_)];
  if (value.isNull) {
    fact = nullptr;
  } else if (watched_ == Fact::kUpTime) {
    const auto* days = std::get_if<std::int64_t>(&value.native);
    fact = days ? nlohmann::json(*days) : nlohmann::json(value.text);
  } else if (watched_ == Fact::kStarted) {
    const auto* started = std::get_if<data::DateTime>(&value.native);
    fact = started ? IsoDateTime(*started) : value.text;
  } else {
    fact = value.text;
  }
}

nlohmann::json ServerIdentity::ToJson() const {
  auto fact = [this](Fact f) { return facts_[static_cast<int>(f)]; };
  nlohmann::json identity = nlohmann::json::object();
  identity["name"] = fact(Fact::kName);
  identity["instance"] = fact(Fact::kInstance);
  identity["version"] = fact(Fact::kVersion);
  identity["productLevel"] = fact(Fact::kProductLevel);
  identity["edition"] = fact(Fact::kEdition);
  identity["collation"] = fact(Fact::kCollation);
  identity["started"] = fact(Fact::kStarted);
  identity["upTimeDays"] = fact(Fact::kUpTime);
  identity["databases"] = databases_ ? nlohmann::json(*databases_) : nlohmann::json(nullptr);
  return identity;
}

}  // namespace quorvane::snapshot
