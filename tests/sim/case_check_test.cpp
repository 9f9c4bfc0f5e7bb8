// The case-sensitive server mode: which names a batch gets wrong, and what is not looked at.
#include "sqlserver_sim/case_check.h"

#include <gtest/gtest.h>

#include <string>

#include "sqlserver_sim/scenario.h"

namespace sqlsim {
namespace {

// "number text", or "" when the batch passes.
std::string Check(const std::string& batch) {
  const auto error = CaseSensitiveError(batch);
  return error ? std::to_string(error->number) + " " + error->text : "";
}

const char* const kDiskBatch =
    "SET NOCOUNT ON\r\nCREATE TABLE #drives (drive char(1) PRIMARY KEY, FreeSpace int NULL,\r\n"
    "TotalSize int NULL) INSERT #drives(drive,FreeSpace) EXEC\r\nmaster.dbo.xp_fixeddrives\r\n"
    "UPDATE #drives SET TotalSize=@TotalSize/@MB WHERE\r\ndrive=@drive\r\nSELECT\r\n";
const char* const kDiskColumns =
    " TotalSize as \"Total(MB)\", FreeSpace as \"Free(MB)\",\r\n"
    "CAST((FreeSpace/(TotalSize*1.0))*100.0 as int) as \"Free(%)\" FROM #drives\r\n"
    "ORDER BY drive DROP TABLE #drives Return";

TEST(CaseCheck, TheProductsKnownFaultsAreFlaggedLikeSqlServer) {
  const auto proc =
      CaseSensitiveError("EXEC sp_MSForEachDB 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'");
  ASSERT_TRUE(proc.has_value());
  EXPECT_EQ(proc->number, 2812);
  EXPECT_EQ(proc->severity, 16);
  EXPECT_EQ(proc->state, 62);
  EXPECT_EQ(proc->text, "Could not find stored procedure 'sp_MSForEachDB'.");

  // The object is reported although the miscased column comes first.
  const auto object = CaseSensitiveError(
      "select CrDate \"SQL Server Started\" from master..SysDatabases where name = 'TempDb'");
  ASSERT_TRUE(object.has_value());
  EXPECT_EQ(object->number, 208);
  EXPECT_EQ(object->severity, 16);
  EXPECT_EQ(object->state, 1);
  EXPECT_EQ(object->text, "Invalid object name 'master..SysDatabases'.");

  const auto column = CaseSensitiveError(std::string(kDiskBatch) + "Drive," + kDiskColumns);
  ASSERT_TRUE(column.has_value());
  EXPECT_EQ(column->number, 207);
  EXPECT_EQ(column->severity, 16);
  EXPECT_EQ(column->state, 1);
  EXPECT_EQ(column->text, "Invalid column name 'Drive'.");
}

TEST(CaseCheck, TheCorrectedFormsPass) {
  EXPECT_EQ(Check("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'"), "");
  EXPECT_EQ(
      Check("select crdate \"SQL Server Started\" from master..sysdatabases where name = 'tempdb'"),
      "");
  EXPECT_EQ(Check(std::string(kDiskBatch) + "drive as Drive," + kDiskColumns), "");
}

TEST(CaseCheck, OnlyRealReferencesCount) {
  // Strings, comments (nested too), quoted and bracketed names, variables and aliases.
  EXPECT_EQ(Check("select name as CrDate, 'SysDatabases', N'sp_MSForEachDB', \"CrDate\", "
                  "[CrDate], @CrDate, @@CrDate\n"
                  "from master..sysdatabases -- CrDate SysDatabases\n"
                  "/* CrDate /* nested */ SysDatabases */ where name = 'TempDb'"),
            "");
  // Catalogue values compared as strings are not modelled.
  EXPECT_EQ(Check("select dbid from master..sysdatabases where name = 'MASTER'"), "");
  // Functions are not objects, and columns count only where their table is named.
  EXPECT_EQ(Check("select SERVERPROPERTY('ServerName'), DB_NAME(), Name = 1, CrDate from t"), "");
  // Procedures the simulator does not know keep whatever case they are written in.
  EXPECT_EQ(Check("exec dbo.My_Proc"), "");
}

TEST(CaseCheck, ProceduresObjectsAndColumns) {
  EXPECT_EQ(Check("exec @rc = master.dbo.XP_CMDSHELL 'dir'"),
            "2812 Could not find stored procedure 'master.dbo.XP_CMDSHELL'.");
  EXPECT_EQ(Check("SP_WHO2 'active'"), "2812 Could not find stored procedure 'SP_WHO2'.");
  EXPECT_EQ(Check("EXECUTE msdb..Sp_Help_Job"),
            "2812 Could not find stored procedure 'msdb..Sp_Help_Job'.");
  EXPECT_EQ(Check("select * from [msdb].dbo.SYSJOBS j"),
            "208 Invalid object name 'msdb.dbo.SYSJOBS'.");
  EXPECT_EQ(Check("select name from SYS.databases"), "208 Invalid object name 'SYS.databases'.");
  EXPECT_EQ(Check("select name, state_desc from master.sys.databases"), "");
  EXPECT_EQ(Check("select Name from sys.databases"), "207 Invalid column name 'Name'.");
  EXPECT_EQ(Check("select j.name, h.Run_Status from msdb.dbo.sysjobs j\n"
                  "join msdb.dbo.sysjobhistory h on h.job_id = j.job_id"),
            "207 Invalid column name 'Run_Status'.");
}

TEST(CaseCheck, TemporaryTableColumnsComeFromItsCreateTable) {
  const std::string create =
      "CREATE TABLE #t (CONSTRAINT pk PRIMARY KEY (Id), Id int NOT NULL, [Type] int,\n"
      "  Amount decimal(10, 2) DEFAULT (0))\n"
      "CREATE TABLE #u (Other int)\n";
  EXPECT_EQ(Check(create + "select Id, [type], Amount, Other from #t, #u"), "");
  EXPECT_EQ(Check(create + "select ID from #t"), "207 Invalid column name 'ID'.");
  EXPECT_EQ(Check(create + "select t.amount from #t t"), "207 Invalid column name 'amount'.");
  EXPECT_EQ(Check(create + "select type from #t"), "207 Invalid column name 'type'.");
  EXPECT_EQ(Check(create + "select other from #u"), "207 Invalid column name 'other'.");
  EXPECT_EQ(Check(create + "select pk, Constraint_ from #t"), "");
}

TEST(CaseCheck, TheScenarioTurnsTheModeOn) {
  EXPECT_FALSE(ParseScenario("{}").caseSensitive);
  EXPECT_TRUE(ParseScenario(R"({"server": {"caseSensitive": true}})").caseSensitive);
  try {
    ParseScenario(R"({"server": {"caseSensitive": "yes"}})");
    ADD_FAILURE() << "a string was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("server.caseSensitive: expected true or false"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace sqlsim
