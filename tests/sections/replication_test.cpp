#include "sections/replication.h"

#include <gtest/gtest.h>

#include "section_test.h"

namespace quorvane::testing {
namespace {

using namespace sections;
using Lines = std::vector<std::string>;

struct Call {
  const char* name;
  Generator generator;
  const char* line;
};

void PrintTo(const Call& call, std::ostream* os) {
  *os << call.name;
}

// clang-format off
// In the order the report run calls them. The per-database lines end with one blank.
const std::vector<Call> kReplication = {
    {"sp_helpreplicationdboption", sp_helpreplicationdboption, "EXEC master..sp_helpreplicationdboption"},
    {"sp_helpdistributor", sp_helpdistributor, "EXEC master..sp_helpdistributor"},
    {"sp_helpdistributiondb", sp_helpdistributiondb, "EXEC master..sp_helpdistributiondb"},
    {"sp_helpdistpublisher", sp_helpdistpublisher, "EXEC master..sp_helpdistpublisher"},
    {"sp_helpPublicationALL", sp_helpPublicationALL, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helppublication;' "},
    {"sp_helpmergepublication", sp_helpmergepublication, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpmergepublication;' "},
    {"sp_helpmergepullsubscription", sp_helpmergepullsubscription, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpmergepullsubscription;' "},
    {"sp_helppullsubscription", sp_helppullsubscription, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helppullsubscription;' "},
    {"sp_helpsubscriberinfo", sp_helpsubscriberinfo, "EXEC master..sp_helpsubscriberinfo"},
    {"sp_helpsubscription_properties", sp_helpsubscription_properties, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpsubscription_properties;' "},
    {"sp_replcounters", sp_replcounters, "EXEC master..sp_replcounters"},
    {"sp_help_agent_profile", sp_help_agent_profile, "IF EXISTS(SELECT * FROM master..sysservers WHERE srvstatus & 8 <> 0) EXEC master..sp_help_agent_profile"},
};
// clang-format on

const std::string kPublications = kReplication[4].line;
const std::string kAgentProfiles = kReplication[11].line;

class ReplicationSection : public SectionTest, public ::testing::WithParamInterface<Call> {};

std::string CallName(const ::testing::TestParamInfo<Call>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(All, ReplicationSection, ::testing::ValuesIn(kReplication), CallName);

TEST_P(ReplicationSection, SendsItsOneLineAndShowsEveryResultSet) {
  conn.On(GetParam().line,
          {TextRows({"name"}, {{"a"}}), data::RowCount{1}, TextRows({"id"}, {{"1"}, {"2"}})});
  GetParam().generator(q);
  EXPECT_EQ(conn.Batches(), Lines{GetParam().line});
  EXPECT_EQ(buf.Entries(),
            Lines{Table({"Name"}, {{"a"}}) + "<br>\n" + Table({"Id"}, {{"1"}, {"2"}})});
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_P(ReplicationSection, FailingCommandLeavesTheErrorBlockAndNone) {
  FailEveryBatch();
  GetParam().generator(q);
  EXPECT_EQ(buf.Entries(), (Lines{ErrorBlock(kDenied), kNone}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(SectionTest, ReplicationSectionsSendTheirLinesInOrder) {
  conn.SetDefault({NoRows({"x"})});
  Lines expected;
  for (const Call& call : kReplication) {
    call.generator(q);
    expected.push_back(call.line);
  }
  EXPECT_EQ(conn.Batches(), expected);
  EXPECT_EQ(buf.Entries(), Lines(kReplication.size(), kNone));
}

TEST_F(SectionTest, AgentProfilesWithoutADistributorShowNoneWithoutAnError) {
  conn.On(kAgentProfiles, {});
  sp_help_agent_profile(q);
  EXPECT_EQ(buf.Entries(), Lines{kNone});
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_F(SectionTest, AgentProfilesOfADistributorAreShown) {
  conn.On(kAgentProfiles,
          {TextRows({"profile_id", "profile_name"}, {{"1", "Default agent profile"}})});
  sp_help_agent_profile(q);
  EXPECT_EQ(buf.Entries(),
            Lines{Table({"Profile Id", "Profile Name"}, {{"1", "Default agent profile"}})});
}

TEST_F(SectionTest, PublicationsOfEveryDatabaseAreShownOneTableEach) {
  conn.On(kPublications, {TextRows({"pubid", "name"}, {{"1", "SalesPub"}}),
                          TextRows({"pubid", "name"}, {{"1", "StockPub"}}),
                          TextRows({"pubid", "name"}, {{"2", "OrdersPub"}})});
  sp_helpPublicationALL(q);
  EXPECT_EQ(buf.Entries(), Lines{Table({"Pubid", "Name"}, {{"1", "SalesPub"}}) + "<br>\n" +
                                 Table({"Pubid", "Name"}, {{"1", "StockPub"}}) + "<br>\n" +
                                 Table({"Pubid", "Name"}, {{"2", "OrdersPub"}})});
}

TEST_F(SectionTest, ADatabaseWithoutPublicationsDoesNotHideTheNextOnes) {
  conn.On(kPublications, {NoRows({"pubid", "name"}), TextRows({"pubid", "name"}, {{"1", "Pub"}})});
  sp_helpPublicationALL(q);
  EXPECT_EQ(buf.Entries(), Lines{Table({"Pubid", "Name"}, {{"1", "Pub"}})});
}

TEST_F(SectionTest, AnOfflineDatabaseInAPerDatabaseSectionIsAnErrorBlockInPlace) {
  const std::string offline = "Database 'Archive' cannot be opened because it is offline.";
  conn.On(kPublications, {TextRows({"name"}, {{"SalesPub"}}), ScriptedError{offline, 942},
                          TextRows({"name"}, {{"StockPub"}})});
  sp_helpPublicationALL(q);
  EXPECT_EQ(buf.Entries(), Lines{Table({"Name"}, {{"SalesPub"}}) + ErrorBlock(offline) + "\n" +
                                 "<br>\n" + Table({"Name"}, {{"StockPub"}})});
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

}  // namespace
}  // namespace quorvane::testing
