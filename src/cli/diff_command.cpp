#include "cli/diff_command.h"

#include <ostream>

#include "cli/cli_options.h"
#include "cli/report_command.h"
#include "data/path_text.h"
#include "report/report_file.h"
#include "snapshot/drift.h"
#include "snapshot/drift_html.h"
#include "snapshot/snapshot_file.h"

namespace quorvane::cli {

namespace {

struct DiffOptions {
  std::string before;
  std::string after;
  std::string output = "drift.htm";
  bool all = false;
};

DiffOptions ParseDiffCommandLine(const std::vector<std::string>& args) {
  DiffOptions options;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--output" || arg == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{arg + " needs a file name"};
      options.output = args[++i];
    } else if (arg == "--all") {
      options.all = true;
    } else if (arg.starts_with("-") && arg != "-") {
      throw UsageError{"diff: unknown option '" + arg + "'"};
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) throw UsageError{"diff compares two snapshots: diff OLD.json NEW.json"};
  options.before = files[0];
  options.after = files[1];
  return options;
}

}  // namespace

int RunDiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  DiffOptions options;
  try {
    options = ParseDiffCommandLine(args);
  } catch (const UsageError& error) {
    err << "quorvane-report: " << error.message << "\nTry 'quorvane-report --help'.\n";
    return kBadCommandLine;
  }
  nlohmann::json before;
  nlohmann::json after;
  snapshot::Drift drift;
  std::string html;
  try {
    before = snapshot::ReadSnapshot(data::PathFromUtf8(options.before));
    after = snapshot::ReadSnapshot(data::PathFromUtf8(options.after));
    const snapshot::DriftOptions driftOptions{options.all};
    drift = snapshot::CompareSnapshots(before, after, driftOptions);
    html = snapshot::DriftHtml(drift, before, after, options.before, options.after, driftOptions);
  } catch (const snapshot::SnapshotError& error) {
    err << "quorvane-report: " << error.what() << "\n";
    return kBadCommandLine;
  } catch (const nlohmann::json::exception& error) {
    // A value of the wrong type deep in a snapshot that passed the reader's checks.
    err << "quorvane-report: " << options.before << " and " << options.after
        << " cannot be compared: one is a damaged snapshot (" << error.what() << ")\n";
    return kBadCommandLine;
  }
  try {
    report::WriteReportFile(data::PathFromUtf8(options.output), html);
  } catch (const report::ReportWriteError& error) {
    err << "quorvane-report: the drift report could not be written: " << error.what() << "\n";
    return kReportNotWritten;
  }
  out << "Drift report written to " << options.output << ": " << drift.sectionsWithChanges << " of "
      << drift.sections.size() << " sections changed; " << drift.added << " row(s) added, "
      << drift.removed << " removed, " << drift.changed << " changed.\n";
  return drift.Any() ? 1 : 0;
}

}  // namespace quorvane::cli
