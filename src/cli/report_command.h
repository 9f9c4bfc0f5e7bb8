#pragma once

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
// and writes it. Progress and errors go to `err`, the summary to `out`; a password asked for with
// --password-stdin is read from `in`. `freetds` is the process's private freetds.conf, without
// which FreeTDS cannot check a certificate.
int RunReportCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                     std::ostream& err, connection::FreeTdsConfig* freetds = nullptr);

}  // namespace quorvane::cli
