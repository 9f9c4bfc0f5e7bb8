#include "sections/catalogue.h"

#include <gtest/gtest.h>

#include "section_test.h"

namespace quorvane::testing {
namespace {

using namespace sections;

struct Call {
  const char* name;
  Generator generator;
  const char* line;
};

void PrintTo(const Call& call, std::ostream* os) {
  *os << call.name;
}

// In the order the report run calls them.
const std::vector<Call> kCatalogue = {
    {"sp_server_info", sp_server_info, "exec master..sp_server_info"},
    {"sp_configure", sp_configure, "exec master..sp_configure"},
    {"sp_helpsort", sp_helpsort, "exec master..sp_helpsort"},
    {"sp_helpserver", sp_helpserver, "exec master..sp_helpserver"},
    {"sp_helplinkedsrvlogin", sp_helplinkedsrvlogin, "exec master..sp_helplinkedsrvlogin"},
    {"sp_help_targetserver", sp_help_targetserver, "exec msdb..sp_help_targetserver"},
    {"sp_help_targetservergroup", sp_help_targetservergroup,
     "exec msdb..sp_help_targetservergroup"},
    {"sp_helpdevice", sp_helpdevice, "exec master..sp_helpdevice"},
    {"sp_helpdb", sp_helpdb, "exec master..sp_helpdb"},
    {"sp_helpfileALL", sp_helpfileALL,
     "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'"},
    {"sp_helpsrvrole", sp_helpsrvrole, "exec master..sp_helpsrvrole"},
    {"sp_helpsrvrolemember", sp_helpsrvrolemember, "exec master..sp_helpsrvrolemember"},
    {"sp_helplogins", sp_helplogins, "exec master..sp_helplogins"},
    {"xp_logininfo", xp_logininfo, "exec master..xp_logininfo"},
    {"sp_validatelogins", sp_validatelogins, "exec master..sp_validatelogins"},
    {"xp_loginconfig", xp_loginconfig, "exec master..xp_loginconfig"},
};

const std::string kHelpFileAll = kCatalogue[9].line;

class CatalogueSection : public SectionTest, public ::testing::WithParamInterface<Call> {};

std::string CallName(const ::testing::TestParamInfo<Call>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(All, CatalogueSection, ::testing::ValuesIn(kCatalogue), CallName);

TEST_P(CatalogueSection, SendsItsOneLineAndShowsTheResult) {
  conn.On(GetParam().line, {TextRows({"name", "value"}, {{"a", "1"}})});
  GetParam().generator(q);
  EXPECT_EQ(conn.Batches(), std::vector<std::string>{GetParam().line});
  EXPECT_EQ(buf.Entries(), std::vector<std::string>{Table({"Name", "Value"}, {{"a", "1"}})});
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_P(CatalogueSection, FailingCommandLeavesTheErrorBlockAndNone) {
  FailEveryBatch();
  GetParam().generator(q);
  EXPECT_EQ(buf.Entries(), (std::vector<std::string>{ErrorBlock(kDenied), kNone}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_P(CatalogueSection, NoRowsOrNoResultSetGiveNoneOnly) {
  conn.On(GetParam().line, {NoRows({"name"})});
  GetParam().generator(q);
  conn.On(GetParam().line, {data::RowCount{0}});
  GetParam().generator(q);
  EXPECT_EQ(buf.Entries(), (std::vector<std::string>{kNone, kNone}));
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_F(SectionTest, CatalogueSectionsSendTheirLinesInOrderAndNothingElse) {
  conn.SetDefault({NoRows({"x"})});
  std::vector<std::string> expected;
  for (const Call& call : kCatalogue) {
    call.generator(q);
    expected.push_back(call.line);
  }
  EXPECT_EQ(conn.Batches(), expected);
  EXPECT_EQ(buf.Size(), kCatalogue.size());
}

TEST_F(SectionTest, TwoResultSetsOfOneProcedureAreSeparatedByBr) {
  // sp_helplogins: the SID of the first result is binary and stays out of the table.
  conn.On(
      "exec master..sp_helplogins",
      {Rows({{"LoginName", data::FieldKind::ftString},
             {"SID", data::FieldKind::ftVarBytes},
             {"DefDBName", data::FieldKind::ftString}},
            {{data::Value::Text("sa"), data::Value::Text("0x01"), data::Value::Text("master")}}),
       TextRows({"LoginName", "DBName", "UserName", "UserOrAlias"},
                {{"sa", "master", "dbo", "User"}})});
  sp_helplogins(q);
  EXPECT_EQ(buf.Entries(), std::vector<std::string>{
                               Table({"Loginname", "Defdbname"}, {{"sa", "master"}}) + "<br>\n" +
                               Table({"Loginname", "Dbname", "Username", "Useroralias"},
                                     {{"sa", "master", "dbo", "User"}})});
}

// What sp_helpfile and sp_spaceused give for one database.
Script DatabaseResults(const std::string& db) {
  return {TextRows({"name", "filename"}, {{db, db + ".mdf"}}),
          TextRows({"database_name", "database_size"}, {{db, "8.00 MB"}}),
          TextRows({"reserved", "data"}, {{db + " KB", "1 KB"}})};
}

std::string DatabaseTables(const std::string& db) {
  return Table({"Name", "Filename"}, {{db, db + ".mdf"}}) +
         Table({"Database Name", "Database Size"}, {{db, "8.00 MB"}}) +
         Table({"Reserved", "Data"}, {{db + " KB", "1 KB"}});
}

Script Concat(std::initializer_list<Script> parts) {
  Script all;
  for (const Script& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(SectionTest, HelpFileAllPutsHrBetweenDatabasesOnly) {
  conn.On(kHelpFileAll,
          Concat({DatabaseResults("master"), DatabaseResults("model"), DatabaseResults("Sales")}));
  sp_helpfileALL(q);
  EXPECT_EQ(buf.Entries(),
            std::vector<std::string>{DatabaseTables("master") + "<hr>\n" + DatabaseTables("model") +
                                     "<hr>\n" + DatabaseTables("Sales")});
}

TEST_F(SectionTest, HelpFileAllShowsAnOfflineDatabaseAsAnErrorBlockBetweenTheOthers) {
  const std::string offline = "Database 'Archive' cannot be opened because it is offline.";
  // Row counts of the statements inside the procedures come between the row sets.
  conn.On(kHelpFileAll, Concat({DatabaseResults("master"),
                                {data::RowCount{1}},
                                {ScriptedError{offline, 942}},
                                DatabaseResults("Sales"),
                                {data::RowCount{3}},
                                DatabaseResults("Stock")}));
  sp_helpfileALL(q);
  EXPECT_EQ(buf.Entries(), std::vector<std::string>{DatabaseTables("master") + ErrorBlock(offline) +
                                                    "\n" + "<hr>\n" + DatabaseTables("Sales") +
                                                    "<hr>\n" + DatabaseTables("Stock")});
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(SectionTest, HelpFileAllKeepsTheHrBetweenDatabasesWhenAResultIsEmpty) {
  Script first = DatabaseResults("master");
  first[1] = NoRows({"database_name", "database_size"});
  conn.On(kHelpFileAll, Concat({first, DatabaseResults("Sales")}));
  sp_helpfileALL(q);
  EXPECT_EQ(buf.Entries(),
            std::vector<std::string>{Table({"Name", "Filename"}, {{"master", "master.mdf"}}) +
                                     Table({"Reserved", "Data"}, {{"master KB", "1 KB"}}) +
                                     "<hr>\n" + DatabaseTables("Sales")});
}

// sp_spaceused gives a third result for a database with a memory-optimized filegroup; the
// rules still fall between databases.
TEST_F(SectionTest, HelpFileAllKeepsTheRulesAfterADatabaseWithThreeSpaceResults) {
  Script inMemory = DatabaseResults("Orders");
  inMemory.push_back(TextRows({"xtp_precreated", "xtp_used"}, {{"16 KB", "8 KB"}}));
  conn.On(kHelpFileAll, Concat({DatabaseResults("master"), inMemory, DatabaseResults("Sales")}));
  sp_helpfileALL(q);
  EXPECT_EQ(buf.Entries(), std::vector<std::string>{
                               DatabaseTables("master") + "<hr>\n" + DatabaseTables("Orders") +
                               Table({"Xtp Precreated", "Xtp Used"}, {{"16 KB", "8 KB"}}) +
                               "<hr>\n" + DatabaseTables("Sales")});
}

TEST_F(SectionTest, HelpFileAllFailingAtOnceLeavesErrorBlockAndNone) {
  conn.On(kHelpFileAll, {ScriptedError{"Could not find stored procedure 'sp_MSforeachdb'.", 2812}});
  sp_helpfileALL(q);
  EXPECT_EQ(buf.Entries(),
            (std::vector<std::string>{
                ErrorBlock("Could not find stored procedure 'sp_MSforeachdb'."), kNone}));
}

}  // namespace
}  // namespace quorvane::testing
