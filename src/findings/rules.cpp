// The findings: one entry per finding, each a test on rows the report has already read. A rule
// that cannot tell from its facts (a value missing, NULL or not a number) says nothing.
#include "findings/rules.h"

#include <algorithm>
#include <cctype>

#include "findings/support_ends.h"
#include "report/text.h"

namespace quorvane::findings {

namespace {

using report::SameAsciiName;

std::string Number(std::int64_t value) {
  return report::GroupThousands(std::to_string(value));
}

// The run value of sp_configure's option `name` when this row is that option.
std::optional<std::int64_t> RunValueOf(const Facts& facts, std::string_view name) {
  if (!SameAsciiName(facts.Row().Text("name"), name)) return std::nullopt;
  return facts.Row().Integer("run_value");
}

std::optional<Hit> OptionAt(const Facts& facts, std::string_view name, std::int64_t value,
                            Severity severity, std::string title, std::string why) {
  const std::optional<std::int64_t> run = RunValueOf(facts, name);
  if (run != value) return std::nullopt;
  return Hit{severity, facts.Row().Text("name"), std::move(title),
             "run value " + std::to_string(value) + ". " + std::move(why)};
}

// The parts of sp_helpdb's status ("Status=ONLINE, Updateability=READ_WRITE, IsAutoShrink").
std::vector<std::string_view> StatusParts(std::string_view status) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  while (from <= status.size()) {
    std::size_t end = status.find(',', from);
    if (end == std::string_view::npos) end = status.size();
    std::string_view part = status.substr(from, end - from);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    if (!part.empty()) parts.push_back(part);
    from = end + 1;
  }
  return parts;
}

bool HasStatus(const Facts& facts, std::string_view flag) {
  const std::string status = facts.Row().Text("status");
  const std::vector<std::string_view> parts = StatusParts(status);
  return std::any_of(parts.begin(), parts.end(),
                     [&](std::string_view part) { return SameAsciiName(part, flag); });
}

std::optional<Hit> DatabaseFlag(const Facts& facts, std::string_view flag, std::string title,
                                std::string why) {
  if (!HasStatus(facts, flag)) return std::nullopt;
  const std::string name = facts.Row().Text("name");
  return Hit{Severity::kMedium, name, "Database " + name + " " + std::move(title),
             std::string(flag) + " in its status. " + std::move(why)};
}

// "131072 KB" -> 131072; "10%" is a percentage, not a size.
std::optional<std::int64_t> Kilobytes(const std::string& text) {
  if (!text.ends_with(" KB")) return std::nullopt;
  std::int64_t value = 0;
  const std::string digits = text.substr(0, text.size() - 3);
  if (digits.empty() || digits.size() > 15) return std::nullopt;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The drive a file is on ("D:"), or for a share its "\\server\share"; for any other path its
// folder, which is certainly one mount point.
std::string DriveOf(const std::string& path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) +
           ":";
  }
  if (path.starts_with("\\\\")) {
    const std::size_t share = path.find('\\', 2);
    const std::size_t end = share == std::string::npos ? share : path.find('\\', share + 1);
    return path.substr(0, end);
  }
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsLogFile(const RowFacts& file) {
  return SameAsciiName(file.Text("usage"), "log only");
}

std::optional<Hit> XpCmdShell(const Facts& facts) {
  return OptionAt(facts, "xp_cmdshell", 1, Severity::kHigh, "xp_cmdshell is enabled",
                  "Whoever may call it runs operating-system commands as the SQL Server service "
                  "account.");
}

std::optional<Hit> OleAutomation(const Facts& facts) {
  return OptionAt(facts, "Ole Automation Procedures", 1, Severity::kMedium,
                  "OLE Automation procedures are enabled",
                  "sp_OACreate lets T-SQL create COM objects inside the server's process and "
                  "reach its host.");
}

std::optional<Hit> MaxServerMemory(const Facts& facts) {
  return OptionAt(facts, "max server memory (MB)", 2147483647, Severity::kMedium,
                  "max server memory is not set",
                  "That is the default: SQL Server may take nearly all of the host's memory and "
                  "starve the operating system.");
}

std::optional<Hit> CostThreshold(const Facts& facts) {
  return OptionAt(facts, "cost threshold for parallelism", 5, Severity::kLow,
                  "cost threshold for parallelism is at its default",
                  "That default sends even small queries to parallel plans on today's "
                  "processors.");
}

std::optional<Hit> PendingRestart(const Facts& facts) {
  const std::optional<std::int64_t> config = facts.Row().Integer("config_value");
  const std::optional<std::int64_t> run = facts.Row().Integer("run_value");
  if (!config || !run || *config == *run) return std::nullopt;
  const std::string name = facts.Row().Text("name");
  return Hit{Severity::kLow, name, name + " is configured but not in effect",
             "config value " + std::to_string(*config) + ", run value " + std::to_string(*run) +
                 ". The configured value takes effect only after RECONFIGURE or a restart."};
}

std::optional<Hit> NotOnline(const Facts& facts) {
  const std::string status = facts.Row().Text("status");
  for (const std::string_view part : StatusParts(status)) {
    if (part.size() < 7 || !SameAsciiName(part.substr(0, 7), "Status=")) continue;
    if (SameAsciiName(part.substr(7), "ONLINE")) return std::nullopt;
    const std::string name = facts.Row().Text("name");
    return Hit{
        Severity::kHigh, name, "Database " + name + " is not online",
        std::string(part) + ". Nothing in it can be read, written or backed up while it is so."};
  }
  return std::nullopt;
}

std::optional<Hit> AutoShrink(const Facts& facts) {
  return DatabaseFlag(facts, "IsAutoShrink", "shrinks itself",
                      "Shrinking and growing again and again fragments its indexes and files and "
                      "costs I/O.");
}

std::optional<Hit> AutoClose(const Facts& facts) {
  return DatabaseFlag(facts, "IsAutoClose", "closes itself when unused",
                      "The first connection after each close waits for it to open, and its "
                      "caches are lost.");
}

std::optional<Hit> CompatibilityBelowServer(const Facts& facts) {
  const std::optional<std::int64_t> level = facts.Row().Integer("compatibility_level");
  if (!level || !facts.serverMajor) return std::nullopt;
  const std::int64_t own = std::int64_t{*facts.serverMajor} * 10;
  if (*level >= own) return std::nullopt;
  const std::string name = facts.Row().Text("name");
  return Hit{Severity::kLow, name, "Database " + name + " runs at an older compatibility level",
             "compatibility level " + std::to_string(*level) + ", the server's own " +
                 std::to_string(own) +
                 ". The server's newer query processing and language features stay off for it."};
}

std::optional<Hit> PercentGrowthLarge(const Facts& facts) {
  constexpr std::int64_t kLarge = 1048576;  // 1 GB in KB
  for (std::size_t i = 0; i < facts.rows.size(); ++i) {
    const RowFacts& file = facts.rows[i];
    const std::string growth = file.Text("growth");
    const std::optional<std::int64_t> size = Kilobytes(file.Text("size"));
    if (!growth.ends_with("%") || !size || *size < kLarge) continue;
    return Hit{Severity::kMedium, facts.database,
               "A large file of database " + facts.database + " grows in percent",
               "file " + file.Text("name") + " of " + Number(*size) + " KB grows by " + growth +
                   ". Each growth is larger than the last: long stalls while it is made, and "
                   "space taken in leaps.",
               i};
  }
  return std::nullopt;
}

std::optional<Hit> DataLogSameDrive(const Facts& facts) {
  if (!facts.databaseId || *facts.databaseId <= 4) return std::nullopt;
  for (std::size_t log = 0; log < facts.rows.size(); ++log) {
    if (!IsLogFile(facts.rows[log])) continue;
    const std::string logPath = facts.rows[log].Text("filename");
    const std::string drive = DriveOf(logPath);
    if (drive.empty()) continue;
    for (const RowFacts& data : facts.rows) {
      if (IsLogFile(data) || DriveOf(data.Text("filename")) != drive) continue;
      return Hit{Severity::kLow, facts.database,
                 "Data and log of database " + facts.database + " share " + drive,
                 "data file " + data.Text("filename") + ", log file " + logPath +
                     ". One failing or full drive takes both, and their I/O competes.",
                 log};
    }
  }
  return std::nullopt;
}

std::optional<Hit> DiskLowFree(const Facts& facts) {
  const std::optional<std::int64_t> free = facts.Row().Integer("Free(%)");
  if (!free || *free >= 20) return std::nullopt;
  const std::string drive = facts.Row().Text("Drive");
  std::string values = std::to_string(*free) + "% free";
  const std::optional<std::int64_t> freeMb = facts.Row().Integer("Free(MB)");
  const std::optional<std::int64_t> totalMb = facts.Row().Integer("Total(MB)");
  if (freeMb && totalMb) values += " (" + Number(*freeMb) + " MB of " + Number(*totalMb) + " MB)";
  return Hit{*free < 10 ? Severity::kHigh : Severity::kMedium, drive,
             "Drive " + drive + " is running out of space",
             values + ". When it is full, the files on it cannot grow and their databases stop."};
}

std::optional<Hit> JobFailed(const Facts& facts) {
  if (facts.Row().Integer("enabled") != 1 || facts.Row().Integer("last_run_outcome") != 0) {
    return std::nullopt;
  }
  const std::string name = facts.Row().Text("name");
  std::string when;
  if (const std::string date = facts.Row().Text("last run date"); !date.empty()) {
    when = ", on " + date + " " + facts.Row().Text("last run time");
  }
  return Hit{Severity::kMedium, name, "Job " + name + " failed at its last run",
             "enabled, last run outcome 0 (failed)" + when +
                 ". What it is there to do (a backup, a load) did not happen."};
}

std::optional<Hit> OutOfSupport(const Facts& facts) {
  if (!facts.serverMajor) return std::nullopt;
  const std::optional<SupportEnd> end = ExtendedSupportEnd(*facts.serverMajor);
  if (!end || facts.reportDate <= end->lastDay) return std::nullopt;
  return Hit{Severity::kHigh,
             {},
             end->product + " is out of extended support",
             "product version " + facts.productVersion + "; its extended support ended on " +
                 end->lastDayText + ". It gets no more security updates."};
}

}  // namespace

const std::vector<Rule>& Rules() {
  static const std::vector<Rule> kRules = {
      {"xp_cmdshell_enabled", Source::kConfiguration, XpCmdShell},
      {"ole_automation_enabled", Source::kConfiguration, OleAutomation},
      {"max_server_memory_default", Source::kConfiguration, MaxServerMemory},
      {"cost_threshold_default", Source::kConfiguration, CostThreshold},
      {"config_pending_restart", Source::kConfiguration, PendingRestart},
      {"database_not_online", Source::kDatabases, NotOnline},
      {"database_auto_shrink", Source::kDatabases, AutoShrink},
      {"database_auto_close", Source::kDatabases, AutoClose},
      {"database_compat_below_server", Source::kDatabases, CompatibilityBelowServer},
      {"file_percent_growth_large", Source::kDatabaseFiles, PercentGrowthLarge},
      {"data_log_same_drive", Source::kDatabaseFiles, DataLogSameDrive},
      {"disk_low_free", Source::kDisks, DiskLowFree},
      {"job_last_run_failed", Source::kJobs, JobFailed},
      {"version_out_of_support", Source::kVersion, OutOfSupport},
  };
  return kRules;
}

const Rule* FindRule(std::string_view id) {
  for (const Rule& rule : Rules()) {
    if (rule.id == id) return &rule;
  }
  return nullptr;
}

}  // namespace quorvane::findings
