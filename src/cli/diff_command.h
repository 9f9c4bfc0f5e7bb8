#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane::cli {

// "quorvane-report diff OLD.json NEW.json [-o FILE] [--all]": compares two snapshots and writes
// the drift report. `args` are those after "diff". Exit status: 0 no drift, 1 drift, 2 a bad
// command line or a file that is not a snapshot, 5 the drift report could not be written.
int RunDiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quorvane::cli
