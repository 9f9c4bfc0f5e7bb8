#pragma once

#include <filesystem>
#include <iosfwd>

#include "cli/cli_options.h"

namespace quorvane::cli {

// The report command over a servers file (--servers, --output-dir, --jobs): each server is
// reported by a copy of `program` of its own, up to options.jobs at once, writing its report,
// snapshot and log into the output folder under the proposed name; index.htm lists every server,
// one that could not be reported with the reason. A password, if a login needs one, is read once
// from `in` (--password-stdin) or QUORVANE_PASSWORD. An interrupt is passed on to every running
// copy, which closes its report; no further server is started. Exit status: the highest of the
// servers' (128 + N when interrupted by signal N).
int RunFleetCommand(const CliOptions& options, std::istream& in, std::ostream& out,
                    std::ostream& err, const std::filesystem::path& program);

}  // namespace quorvane::cli
