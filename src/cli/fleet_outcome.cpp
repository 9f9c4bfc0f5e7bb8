#include "cli/fleet_outcome.h"

#include <fstream>
#include <sstream>
#include <string_view>

#include "cli/interrupt_watcher.h"
#include "cli/report_command.h"
#include "data/path_text.h"
#include "snapshot/snapshot_file.h"

namespace quorvane::cli {

namespace fs = std::filesystem;

std::string StatusText(int status) {
  switch (status) {
    case kReportClean:
      return "Report written";
    case kReportWithExceptions:
      return "Report written with exceptions";
    case kBadCommandLine:
      return "Not run";
    case kConnectionFailed:
      return "Connection failed";
    case kReportFailed:
      return "Report incomplete";
    case kReportNotWritten:
      return "Report not written";
    case 128 + InterruptWatcher::kHangUp:
    case 128 + InterruptWatcher::kInterrupt:
    case 128 + InterruptWatcher::kTerminate:
      return "Interrupted";
    default:
      return "Failed with exit status " + std::to_string(status);
  }
}

std::string ReasonFromLog(const fs::path& log) {
  constexpr std::string_view kLead = "quorvane-report: ";
  std::ifstream in(log, std::ios::binary);
  std::string reason;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with(kLead)) reason = line.substr(kLead.size());
  }
  for (const std::string_view said : {"connection failed: ", "the report could not be completed: ",
                                      "the report could not be written: "}) {
    if (reason.starts_with(said)) return reason.substr(said.size());
  }
  return reason;
}

void DescribeRun(snapshot::FleetEntry& entry, int status, const fs::path& html,
                 const fs::path& json, const fs::path& log) {
  entry.status = StatusText(status);
  if (status != kReportClean && status != kReportWithExceptions) {
    entry.reason = ReasonFromLog(log);
  }
  entry.log = data::Utf8FromPath(log.filename());
  if (fs::exists(html)) entry.report = data::Utf8FromPath(html.filename());
  if (!fs::exists(json)) return;
  entry.snapshot = data::Utf8FromPath(json.filename());
  try {
    entry.facts = snapshot::FleetFacts(snapshot::ReadSnapshot(json));
  } catch (const snapshot::SnapshotError& error) {
    entry.reason += (entry.reason.empty() ? "" : "; ") + std::string(error.what());
  }
}

}  // namespace quorvane::cli
