#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "sqlserver_sim/scenario.h"

// The demo instance grown to any size: the answers that grow with an instance (databases,
// logins, jobs and their history) are made on demand, in the demo's shapes, while they are
// sent. Everything else stays the demo's.
namespace sqlsim {

// Each size left unset keeps the demo's answer.
struct ScaleSizes {
  std::optional<std::uint64_t> databases;  // sp_helpdb and the sp_helpfile/sp_spaceused walk
  std::optional<std::uint64_t> logins;     // sp_helplogins
  std::optional<std::uint64_t> jobs;       // the job script
  std::optional<std::uint64_t> history;    // job history, failures and long-running jobs
  // The job history answers this many rows whatever its TOP n: one row set of any size.
  std::optional<std::uint64_t> rows;
};

// "databases=5000,logins=20000,jobs=2000,history=100000,rows=500000", any subset in any
// order. Throws std::invalid_argument naming the bad item.
ScaleSizes ParseScaleSizes(std::string_view text);

// Replaces the demo's answers named by `sizes`. Throws std::runtime_error when `scenario`
// lacks one of the demo's rules it builds on, or a size is out of range.
void ApplyScale(Scenario& scenario, const ScaleSizes& sizes);

// One in this many user databases is offline (deterministic: the 251st, 751st, ...).
inline constexpr std::uint64_t kOfflineEvery = 500;
inline bool IsOfflineDatabase(std::uint64_t userIndex) {
  return userIndex % kOfflineEvery == kOfflineEvery / 2;
}
// Failed job runs in the generated history: every ninth.
inline constexpr std::uint64_t kFailureEvery = 9;

}  // namespace sqlsim
