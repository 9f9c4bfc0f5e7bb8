// Each rule on in-memory results: the value that triggers it and the one just beside it.
#include <gtest/gtest.h>

#include "findings/rules.h"
#include "findings_test_support.h"

namespace quorvane::findings::testing {
namespace {

struct Case {
  const char* name;
  std::vector<Batch> batches;
  const char* id;
  const char* subject;  // null: the rule must not fire
  Severity severity = Severity::kLow;
  data::DateTime reportDate = Day(2026, 12, 10);
};

const Finding* FindingOf(const std::vector<Finding>& findings, std::string_view id) {
  for (const Finding& finding : findings) {
    if (finding.id == id) return &finding;
  }
  return nullptr;
}

std::vector<Batch> UserDatabase(std::int64_t dbid, const char* logPath) {
  return {Databases({Database("Sales", dbid, "Status=ONLINE")}),
          Walk({DatabaseFiles(
              "Sales", {File("Sales", "D:\\Data\\Sales.mdf   ", "8192 KB", "65536 KB", "data only"),
                        File("Sales_log", logPath, "8192 KB", "65536 KB", "log only")})})};
}

std::vector<Batch> GrowingFile(const char* size, const char* growth) {
  return {Walk({DatabaseFiles("Big", {File("Big", "E:\\Big.mdf", size, growth, "data only")})})};
}

class RuleCase : public ::testing::TestWithParam<Case> {};

TEST_P(RuleCase, FiresOnlyOnItsValue) {
  const Case& c = GetParam();
  ASSERT_NE(FindRule(c.id), nullptr) << c.id;
  const std::vector<Finding> findings = FindingsOf(c.batches, c.reportDate);
  const Finding* finding = FindingOf(findings, c.id);
  if (!c.subject) {
    EXPECT_EQ(finding, nullptr) << finding->title;
    return;
  }
  ASSERT_NE(finding, nullptr);
  EXPECT_EQ(finding->subject, c.subject);
  EXPECT_EQ(finding->severity, c.severity);
  EXPECT_FALSE(finding->title.empty());
  EXPECT_FALSE(finding->detail.empty());
}

const Case kCases[] = {
    {"CmdShellOn",
     {Configuration({Option("xp_cmdshell", 1, 1)})},
     "xp_cmdshell_enabled",
     "xp_cmdshell",
     Severity::kHigh},
    {"CmdShellOff", {Configuration({Option("xp_cmdshell", 1, 0)})}, "xp_cmdshell_enabled", nullptr},
    {"OleOn",
     {Configuration({Option("Ole Automation Procedures", 1, 1)})},
     "ole_automation_enabled",
     "Ole Automation Procedures",
     Severity::kMedium},
    {"OleOff",
     {Configuration({Option("Ole Automation Procedures", 0, 0)})},
     "ole_automation_enabled",
     nullptr},
    {"MemoryDefault",
     {Configuration({Option("max server memory (MB)", 2147483647, 2147483647)})},
     "max_server_memory_default",
     "max server memory (MB)",
     Severity::kMedium},
    {"MemorySet",
     {Configuration({Option("max server memory (MB)", 2147483646, 2147483646)})},
     "max_server_memory_default",
     nullptr},
    {"CostDefault",
     {Configuration({Option("cost threshold for parallelism", 5, 5)})},
     "cost_threshold_default",
     "cost threshold for parallelism"},
    {"CostSix",
     {Configuration({Option("cost threshold for parallelism", 6, 6)})},
     "cost_threshold_default",
     nullptr},
    {"Pending",
     {Configuration({Option("min server memory (MB)", 0, 16)})},
     "config_pending_restart",
     "min server memory (MB)"},
    {"NotPending",
     {Configuration({Option("min server memory (MB)", 16, 16)})},
     "config_pending_restart",
     nullptr},
    {"Offline",
     {Databases({Database("Old", 5, "Status=OFFLINE")})},
     "database_not_online",
     "Old",
     Severity::kHigh},
    {"Online",
     {Databases({Database("Old", 5, "Status=ONLINE, Recovery=FULL")})},
     "database_not_online",
     nullptr},
    {"AutoShrink",
     {Databases({Database("S", 5, "Status=ONLINE, IsAutoShrink")})},
     "database_auto_shrink",
     "S",
     Severity::kMedium},
    {"NoAutoShrink",
     {Databases({Database("S", 5, "Status=ONLINE, IsAutoCreateStatistics")})},
     "database_auto_shrink",
     nullptr},
    {"AutoClose",
     {Databases({Database("C", 5, "Status=ONLINE, IsAutoClose, IsAutoShrink")})},
     "database_auto_close",
     "C",
     Severity::kMedium},
    {"NoAutoClose",
     {Databases({Database("C", 5, "Status=ONLINE, IsAutoUpdateStatistics")})},
     "database_auto_close",
     nullptr},
    {"CompatBelow",
     {Version("15.0.2000.5"), Databases({Database("A", 5, "Status=ONLINE", 140)})},
     "database_compat_below_server",
     "A"},
    {"CompatSame",
     {Version("15.0.2000.5"), Databases({Database("A", 5, "Status=ONLINE", 150)})},
     "database_compat_below_server",
     nullptr},
    {"CompatWithoutVersion",
     {Databases({Database("A", 5, "Status=ONLINE", 90)})},
     "database_compat_below_server",
     nullptr},
    {"GrowthLarge", GrowingFile("1048576 KB", "10%"), "file_percent_growth_large", "Big",
     Severity::kMedium},
    {"GrowthSmallFile", GrowingFile("1048575 KB", "10%"), "file_percent_growth_large", nullptr},
    {"GrowthInKb", GrowingFile("4194304 KB", "65536 KB"), "file_percent_growth_large", nullptr},
    {"SameDrive", UserDatabase(5, "d:\\Logs\\Sales_log.ldf"), "data_log_same_drive", "Sales"},
    {"SystemDatabase", UserDatabase(4, "D:\\Logs\\Sales_log.ldf"), "data_log_same_drive", nullptr},
    {"OtherDrive", UserDatabase(5, "L:\\Logs\\Sales_log.ldf"), "data_log_same_drive", nullptr},
    {"SameFolderPaddedPath", UserDatabase(6, "D:\\Data\\Sales_log.ldf"), "data_log_same_drive",
     "Sales"},
    {"DiskNine", {Disks({Drive("C", 1000, 90, 9)})}, "disk_low_free", "C", Severity::kHigh},
    {"DiskTen", {Disks({Drive("C", 1000, 100, 10)})}, "disk_low_free", "C", Severity::kMedium},
    {"DiskNineteen", {Disks({Drive("C", 1000, 190, 19)})}, "disk_low_free", "C", Severity::kMedium},
    {"DiskTwenty", {Disks({Drive("C", 1000, 200, 20)})}, "disk_low_free", nullptr},
    {"JobFailed",
     {Jobs({Job("Nightly", 1, 0)})},
     "job_last_run_failed",
     "Nightly",
     Severity::kMedium},
    {"JobDisabled", {Jobs({Job("Nightly", 0, 0)})}, "job_last_run_failed", nullptr},
    {"JobSucceeded", {Jobs({Job("Nightly", 1, 1)})}, "job_last_run_failed", nullptr},
    {"JobNeverRan", {Jobs({Job("Nightly", 1, 5)})}, "job_last_run_failed", nullptr},
    {"Version2014", {Version("12.0.6024.0")}, "version_out_of_support", "", Severity::kHigh},
    {"Version2017", {Version("14.0.3456.2")}, "version_out_of_support", nullptr},
    {"Version2016OnLastDay",
     {Version("13.0.5026.0")},
     "version_out_of_support",
     nullptr,
     Severity::kHigh,
     Day(2026, 7, 14)},
    {"Version2016DayAfter",
     {Version("13.0.5026.0")},
     "version_out_of_support",
     "",
     Severity::kHigh,
     Day(2026, 7, 15)},
    {"VersionUnknown", {Version("99.0")}, "version_out_of_support", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Rules, RuleCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rules, EveryRuleHasACase) {
  for (const Rule& rule : Rules()) {
    bool fires = false;
    bool misses = false;
    for (const Case& c : kCases) {
      if (c.id != rule.id) continue;
      (c.subject ? fires : misses) = true;
    }
    EXPECT_TRUE(fires && misses) << rule.id;
  }
}

}  // namespace
}  // namespace quorvane::findings::testing
