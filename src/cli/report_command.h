#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane::connection {
class FreeTdsConfig;
}

namespace quorvane::cli {

enum ExitCode : int {
  kReportClean = 0,
  kReportWithExceptions = 1,
  kBadCommandLine = 2,
  kConnectionFailed = 3,
  kReportFailed = 4,
  kReportNotWritten = 5,
  // An interrupt ends with 128 + the signal's number: 129 SIGHUP, 130 SIGINT, 143 SIGTERM.
};

// The whole report command: parses `args` (without the program name), connects, runs the report
// and writes it (and its snapshot). Progress, the coverage ledger and errors go to `err`, the
// summary to `out`; a password asked for with --password-stdin is read from `in`. "diff" as the
// first argument compares two snapshots instead; --servers reports on many servers, each
// through a copy of `program` (empty: this program's own file). `freetds` is the process's
// private freetds.conf, without which FreeTDS cannot check a certificate.
int RunReportCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                     std::ostream& err, const std::filesystem::path& program = {},
                     connection::FreeTdsConfig* freetds = nullptr);

}  // namespace quorvane::cli
