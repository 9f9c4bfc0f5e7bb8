#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "snapshot/drift.h"

namespace quorvane::snapshot {

// The drift report in the report's own look: the two snapshots side by side, a summary, then
// each section's added, removed and changed rows, a changed cell as "old → new". Everything
// taken from the snapshots is escaped.
std::string DriftHtml(const Drift& drift, const nlohmann::json& before, const nlohmann::json& after,
                      std::string_view oldFile, std::string_view newFile,
                      const DriftOptions& options);

}  // namespace quorvane::snapshot
