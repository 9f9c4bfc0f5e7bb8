// The collector on in-memory runs: what counts as evidence, how it is numbered, and the findings'
// report section, snapshot list and drift.
#include <gtest/gtest.h>

#include "findings/findings_output.h"
#include "findings_test_support.h"
#include "snapshot/drift.h"

namespace quorvane::findings::testing {
namespace {

std::vector<std::string> Ids(const std::vector<Finding>& findings) {
  std::vector<std::string> ids;
  for (const Finding& finding : findings) ids.push_back(finding.id + ":" + finding.subject);
  return ids;
}

TEST(FindingsCollector, AResultWithAnErrorGivesNone) {
  Batch configuration = Configuration({Option("xp_cmdshell", 1, 1)});
  configuration.errorAfterSet = 0;
  EXPECT_TRUE(FindingsOf({configuration}).empty());
  // The next batch's results are evidence again.
  EXPECT_EQ(Ids(FindingsOf({configuration, Databases({Database("Old", 5, "Status=OFFLINE")})})),
            std::vector<std::string>{"database_not_online:Old"});
}

TEST(FindingsCollector, ARunEndingInAResultGivesNoneOfIt) {
  FindingsCollector collector;
  Feed(collector, {Configuration({Option("xp_cmdshell", 1, 1)})});
  collector.RunInterrupted("the run was interrupted by SIGINT");
  EXPECT_TRUE(collector.Findings().empty());
}

TEST(FindingsCollector, AnErrorInTheWalkSparesTheOtherDatabases) {
  const auto large = [](const char* database) {
    return DatabaseFiles(database, {File(database, "E:\\x.mdf", "2097152 KB", "10%", "data only")});
  };
  // After A's three sets, the walk meets an offline database; B's files come after it.
  EXPECT_EQ(
      Ids(FindingsOf({Walk({large("A"), large("B")}, 2)})),
      (std::vector<std::string>{"file_percent_growth_large:A", "file_percent_growth_large:B"}));
  // An error right after A's files may have cut them short: A gives none, B does.
  EXPECT_EQ(Ids(FindingsOf({Walk({large("A"), large("B")}, 0)})),
            std::vector<std::string>{"file_percent_growth_large:B"});
}

TEST(FindingsCollector, OneFindingPerSubjectWithEvidenceAsTheSnapshotNumbersIt) {
  Batch preamble{"", "Select SERVERPROPERTY('ServerName')", {{{{"", {}}}, {{V("SRV")}}}}};
  // One section: the version, the disks and (for the test) the walk.
  Batch disks = Disks({Drive("C", 100, 5, 5), Drive("D", 100, 50, 50)});
  disks.section.clear();
  const std::vector<Finding> findings = FindingsOf(
      {preamble, Version("12.0.2000.8"), disks,
       Walk({DatabaseFiles("A", {File("A1", "E:\\1.mdf", "2097152 KB", "10%", "data only"),
                                 File("A2", "E:\\2.ndf", "2097152 KB", "10%", "data only")})})});
  ASSERT_EQ(Ids(findings), (std::vector<std::string>{"version_out_of_support:", "disk_low_free:C",
                                                     "file_percent_growth_large:A"}));
  // The server name before the first heading is the first section's result set 0.
  EXPECT_EQ(findings[0].section, "GeneralInformation");
  EXPECT_EQ(findings[0].evidence, (Evidence{1, 0}));
  EXPECT_EQ(findings[1].evidence, (Evidence{2, 0}));
  // The first large file stands for its database.
  EXPECT_EQ(findings[2].evidence, (Evidence{3, 0}));
  EXPECT_NE(findings[2].detail.find("A1"), std::string::npos);
}

TEST(FindingsCollector, SectionEscapesWhatTheServerSentAndSortsBySeverity) {
  FindingsCollector collector;
  Feed(collector,
       {Configuration({Option("cost threshold for parallelism", 5, 5)}),
        Jobs({Job("<b>Load</b> & \"go\"", 1, 0)}), Configuration({Option("xp_cmdshell", 1, 1)})});
  const std::vector<std::string> entries = FindingsSectionEntries(collector);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "<a name=\"Findings\"></a><h2>Findings:</h2>");
  const std::string& table = entries[1];
  EXPECT_EQ(table.find("<b>Load"), std::string::npos);
  EXPECT_NE(table.find("&lt;b&gt;Load&lt;/b&gt; &amp; &quot;go&quot;"), std::string::npos);
  EXPECT_LT(table.find("<td>high</td>"), table.find("<td>medium</td>"));
  EXPECT_LT(table.find("<td>medium</td>"), table.find("<td>low</td>"));
  EXPECT_NE(table.find("<a href=\"#SQLJobs\">SQLJobs</a>"), std::string::npos);
  EXPECT_EQ(FindingsSummaryLine(collector.Findings()), "Findings: 1 high, 1 medium, 1 low.");
  const nlohmann::json list = FindingsJson(collector.Findings());
  EXPECT_EQ(list[0]["id"], "xp_cmdshell_enabled");
  EXPECT_EQ(list[0]["evidence"], (nlohmann::json{{"resultSet", 0}, {"row", 0}}));
  FindingsCollector none;
  Feed(none, {Configuration({Option("xp_cmdshell", 0, 0)})});
  EXPECT_EQ(FindingsSectionEntries(none)[1], "None.\n");
}

TEST(FindingsDrift, ComparedByIdAndSubject) {
  const auto snapshot = [](const std::vector<Batch>& batches) {
    return nlohmann::json{{"sections", nlohmann::json::array()},
                          {"findings", FindingsJson(FindingsOf(batches))}};
  };
  const nlohmann::json before = snapshot(
      {Disks({Drive("C", 100, 15, 15), Drive("D", 100, 15, 15)}), Jobs({Job("Load", 1, 0)})});
  // C fills up (severity changes), D frees a little (only volatile values), Load is repaired,
  // xp_cmdshell is switched on.
  const nlohmann::json after = snapshot({Disks({Drive("C", 100, 5, 5), Drive("D", 100, 16, 16)}),
                                         Configuration({Option("xp_cmdshell", 1, 1)})});
  const snapshot::Drift drift = snapshot::CompareSnapshots(before, after, {});
  ASSERT_EQ(drift.sections.size(), 1u);
  EXPECT_EQ(drift.sections[0].anchor, "Findings");
  EXPECT_EQ(drift.added, 1u);
  EXPECT_EQ(drift.removed, 1u);
  EXPECT_EQ(drift.changed, 1u);
  EXPECT_EQ(drift.sections[0].tables[0].changed[0].changedColumns,
            std::vector<std::string>{"severity"});
}

}  // namespace
}  // namespace quorvane::findings::testing
