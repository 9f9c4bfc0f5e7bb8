#include "sections/host.h"

#include <string>
#include <vector>

namespace quorvane::sections {

namespace {

std::string CmdShell(const std::string& command) {
  return "exec master..xp_cmdshell \"" + command + "\"";
}

}  // namespace

void GetNetworkConfig(report::QueryRunner& q) {
  q.TextSection(CmdShell("ipconfig /all"));
}

void GetScheduledWindowsJobs(report::QueryRunner& q) {
  // Only the first output line is looked at, and only for the English shell's wording: any
  // other answer, a failed probe included, keeps schtasks.
  const std::string firstLine = q.GetSQL(CmdShell("schtasks"));
  const bool unknown = firstLine.find("not recognized") != std::string::npos;
  q.TextSection(CmdShell(unknown ? "at" : "schtasks"));
}

void GetDiskInfo(report::QueryRunner& q) {
  // xp_fixeddrives knows the free space only; the total comes from the FileSystemObject. A
  // failing OLE call adds an error-information result before the drive table.
  // clang-format off
  q.TableSection(std::vector<std::string>{
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
  });
  // clang-format on
}

}  // namespace quorvane::sections
