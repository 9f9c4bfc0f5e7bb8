#include "sections/host.h"

#include <gtest/gtest.h>

#include "section_test.h"

namespace quorvane::testing {
namespace {

using namespace sections;
using Lines = std::vector<std::string>;

const std::string kIpconfig = "exec master..xp_cmdshell \"ipconfig /all\"";
const std::string kSchtasks = "exec master..xp_cmdshell \"schtasks\"";
const std::string kAt = "exec master..xp_cmdshell \"at\"";

// xp_cmdshell's answer: one text column, a blank line as NULL.
data::RowSet Output(const std::vector<const char*>& lines) {
  data::RowSet set({{"output", data::FieldKind::ftString}},
                   std::vector<std::vector<data::Value>>{});
  for (const char* line : lines) {
    set.rows.push_back({line ? data::Value::Text(line) : data::Value::Null()});
  }
  return set;
}

const char* const kNotRecognized =
    "'schtasks' is not recognized as an internal or external command,";

TEST_F(SectionTest, NetworkConfigShowsTheCommandOutputAsItsLines) {
  conn.On(kIpconfig, {Output({nullptr, "Windows IP Configuration", nullptr,
                              "   Host Name . . . . : SQL01", nullptr})});
  GetNetworkConfig(q);
  EXPECT_EQ(conn.Batches(), Lines{kIpconfig});
  EXPECT_EQ(buf.Entries(),
            Lines{"<pre>\nWindows IP Configuration\n\n   Host Name . . . . : SQL01\n\n\n</pre>\n"});
}

TEST_F(SectionTest, NetworkConfigThatFailsLeavesTheErrorBlockAndAnEmptyPre) {
  FailEveryBatch();
  GetNetworkConfig(q);
  EXPECT_EQ(buf.Entries(), (Lines{ErrorBlock(kDenied), kEmptyPre}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(SectionTest, ScheduledJobsRunSchtasksAgainWhenItExists) {
  conn.On(kSchtasks, {Output({nullptr, "Folder: \\", "TaskName    Next Run Time    Status"})});
  GetScheduledWindowsJobs(q);
  EXPECT_EQ(conn.Batches(), (Lines{kSchtasks, kSchtasks}));
  EXPECT_EQ(buf.Entries(),
            Lines{"<pre>\nFolder: \\\nTaskName    Next Run Time    Status\n\n</pre>\n"});
}

TEST_F(SectionTest, ScheduledJobsFallBackToAtWhenSchtasksIsNotRecognized) {
  conn.On(kSchtasks, {Output({kNotRecognized, "operable program or batch file."})});
  conn.On(kAt, {Output({"There are no entries in the list."})});
  GetScheduledWindowsJobs(q);
  EXPECT_EQ(conn.Batches(), (Lines{kSchtasks, kAt}));
  EXPECT_EQ(buf.Entries(), Lines{"<pre>There are no entries in the list.\n\n</pre>\n"});
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_F(SectionTest, ScheduledJobsProbeReadsOnlyTheFirstLineAndOnlyTheExactWords) {
  conn.SetDefault({Output({"x"})});
  conn.On(kSchtasks, {Output({nullptr, kNotRecognized})});  // the words on the second line
  GetScheduledWindowsJobs(q);
  conn.On(kSchtasks, {Output({"'schtasks' is Not Recognized as a command"})});
  GetScheduledWindowsJobs(q);
  conn.On(kSchtasks, {NoRows({"output"})});
  GetScheduledWindowsJobs(q);
  conn.On(kSchtasks, {Output({"'schtasks' n'est pas reconnu en tant que commande interne"})});
  GetScheduledWindowsJobs(q);
  EXPECT_EQ(conn.Batches(), Lines(8, kSchtasks));
}

TEST_F(SectionTest, ScheduledJobsWithAFailingProbeLeaveTwoErrorBlocksAndAnEmptyPre) {
  FailEveryBatch();
  GetScheduledWindowsJobs(q);
  EXPECT_EQ(conn.Batches(), (Lines{kSchtasks, kSchtasks}));
  EXPECT_EQ(buf.Entries(), (Lines{ErrorBlock(kDenied), ErrorBlock(kDenied), kEmptyPre}));
  EXPECT_EQ(q.ReportExceptionCount, 2);
}

// clang-format off
const Lines kDiskBatch = {
    "SET NOCOUNT ON",
    "DECLARE @hr int",
    "DECLARE @fso int",
    "DECLARE @drive char(1)",
    "DECLARE @odrive int",
    "DECLARE @TotalSize varchar(20)",
    "DECLARE @MB Numeric ;",
    "SET @MB = 1048576",
    "CREATE TABLE #drives (drive char(1) PRIMARY KEY, FreeSpace int NULL,",
    "TotalSize int NULL) INSERT #drives(drive,FreeSpace) EXEC",
    "master.dbo.xp_fixeddrives EXEC @hr=sp_OACreate",
    "'Scripting.FileSystemObject',@fso OUT IF @hr <> 0 EXEC sp_OAGetErrorInfo @fso",
    "DECLARE dcur CURSOR LOCAL FAST_FORWARD",
    "FOR SELECT drive from #drives ORDER by drive",
    "OPEN dcur FETCH NEXT FROM dcur INTO @drive",
    "WHILE @@FETCH_STATUS=0",
    "BEGIN",
    "EXEC @hr = sp_OAMethod @fso,'GetDrive', @odrive OUT, @drive",
    "IF @hr <> 0 EXEC sp_OAGetErrorInfo @fso EXEC @hr = sp_OAGetProperty",
    "@odrive,\"TotalSize\", @TotalSize OUT IF @hr <> 0 EXEC sp_OAGetErrorInfo",
    "@odrive UPDATE #drives SET TotalSize=@TotalSize/@MB WHERE",
    "drive=@drive FETCH NEXT FROM dcur INTO @drive",
    "End",
    "Close dcur",
    "DEALLOCATE dcur",
    "EXEC @hr=sp_OADestroy @fso IF @hr <> 0 EXEC sp_OAGetErrorInfo @fso",
    "SELECT",
    "drive as Drive, TotalSize as \"Total(MB)\", FreeSpace as \"Free(MB)\",",
    "CAST((FreeSpace/(NULLIF(TotalSize, 0)*1.0))*100.0 as int) as \"Free(%)\" FROM #drives",
    "ORDER BY drive DROP TABLE #drives Return",
};
// clang-format on

TEST_F(SectionTest, DiskInfoSendsItsThirtyLinesAndShowsTheDrives) {
  ASSERT_EQ(kDiskBatch.size(), 30u);
  conn.OnLines(kDiskBatch, {TextRows({"Drive", "Total(MB)", "Free(MB)", "Free(%)"},
                                     {{"C", "1024", "512", "50"}, {"D", "2048", "2047", "99"}})});
  GetDiskInfo(q);
  EXPECT_EQ(OnlyBatchLines(), kDiskBatch);
  EXPECT_EQ(buf.Entries(), Lines{Table({"Drive", "Total(Mb)", "Free(Mb)", "Free(%)"},
                                       {{"C", "1024", "512", "50"}, {"D", "2048", "2047", "99"}})});
}

TEST_F(SectionTest, DiskInfoShowsOleErrorInformationBeforeTheDrives) {
  conn.OnLines(kDiskBatch,
               {TextRows({"Error", "Source", "Description"},
                         {{"0x80070005", "ODSOLE Extended Procedure", "Access denied."}}),
                TextRows({"Drive", "Total(MB)", "Free(MB)", "Free(%)"}, {{"C", "", "512", ""}})});
  GetDiskInfo(q);
  EXPECT_EQ(buf.Entries(),
            Lines{Table({"Error", "Source", "Description"},
                        {{"0x80070005", "ODSOLE Extended Procedure", "Access denied."}}) +
                  "<br>\n" +
                  Table({"Drive", "Total(Mb)", "Free(Mb)", "Free(%)"}, {{"C", "", "512", ""}})});
}

TEST_F(SectionTest, DiskInfoThatFailsLeavesTheErrorBlockAndNone) {
  FailEveryBatch();
  GetDiskInfo(q);
  EXPECT_EQ(buf.Entries(), (Lines{ErrorBlock(kDenied), kNone}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

}  // namespace
}  // namespace quorvane::testing
