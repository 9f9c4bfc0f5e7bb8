#pragma once

#include <filesystem>
#include <string>

#include "snapshot/fleet_index.h"

namespace quorvane::cli {

// How the index and the progress name a run's exit status ("Connection failed").
std::string StatusText(int status);

// Why a run did not complete, in the run's own words: the last message it gave on standard
// error, without the program's name and the lead that the status already says.
std::string ReasonFromLog(const std::filesystem::path& log);

// Fills `entry` from a finished run of one server: its status, the reason when it did not
// complete, the files it left (by name, beside the index) and what its snapshot says.
void DescribeRun(snapshot::FleetEntry& entry, int status, const std::filesystem::path& html,
                 const std::filesystem::path& json, const std::filesystem::path& log);

}  // namespace quorvane::cli
