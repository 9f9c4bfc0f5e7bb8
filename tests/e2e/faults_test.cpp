// The report command under faults, through the real driver against the simulator: a lost link,
// a driver that aborts, interrupts, a stalled server, and a report file that cannot be written.
// Whatever happens, the report on disk is either the previous one or a closed one.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/report_command.h"
#include "e2e_support.h"

extern char** environ;

namespace quorvane::e2e {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr const char* kClosed = "</body>\r\n</html>\r\n";

json Demo() {
  return json::parse(sqlsim::DemoScenario());
}

// Puts `item` at `position` (clamped) into the results of the demo rule whose text starts with
// `sql`.
void InsertInRule(json& scenario, const std::string& sql, std::size_t position, json item) {
  for (json& rule : scenario["batches"]) {
    const std::string text = rule.value("sql", rule.value("pattern", ""));
    if (text.starts_with(sql)) {
      json& results = rule["results"];
      results.insert(results.begin() + static_cast<long>(std::min(position, results.size())),
                     std::move(item));
      return;
    }
  }
  FAIL() << "no demo rule starts with " << sql;
}

// The error blocks of a report, for a failure message.
std::string Blocks(const std::string& html) {
  std::string blocks;
  for (auto at = html.find("<div class=\"ExceptionError\">"); at != std::string::npos;
       at = html.find("<div class=\"ExceptionError\">", at + 1)) {
    blocks += html.substr(at, html.find("</div>", at) - at) + "\n";
  }
  return blocks;
}

bool EndsClosed(const std::string& html) {
  return html.ends_with(kClosed);
}

// quorvane-report in a child process (through /bin/sh when `shellPrefix` sets limits first),
// with the demo password in its environment and its standard error in a file.
class ReportProcess {
 public:
  ReportProcess(const std::vector<std::string>& args, const std::string& shellPrefix = "")
      : errPath_(OutputPath("stderr")) {
    std::vector<std::string> argv{"/bin/sh", "-c",
                                  shellPrefix + " exec \"$0\" \"$@\" 2>'" + errPath_.string() + "'",
                                  QUORVANE_REPORT_COMMAND};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    std::string password = std::string("QUORVANE_PASSWORD=") + sqlsim::kDemoPassword;
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(password.data());
    env.push_back(nullptr);
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, raw.data(), env.data()) != 0) pid_ = -1;
  }
  ~ReportProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(errPath_);
  }

  void Signal(int signal) { ::kill(pid_, signal); }

  // The exit status as a shell reports it (128 + N for a signal); -1 after `limit`.
  int Wait(std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  std::string Err() const { return ReadFile(errPath_); }

 private:
  pid_t pid_ = -1;
  std::filesystem::path errPath_;
};

std::vector<std::string> Args(const sqlsim::Server& server, const std::filesystem::path& output) {
  return {"--server",         ServerText(server), "--login",
          sqlsim::kDemoLogin, "--output",         output.string()};
}

// ---- a lost link --------------------------------------------------------------------------

struct DropPosition {
  const char* name;
  const char* rule;      // the demo rule whose answer the link drops in
  std::size_t position;  // after this many of its results
  const char* section;
};

class LostLink : public ::testing::TestWithParam<DropPosition> {};

TEST_P(LostLink, IsReestablishedOnceAndTheReportGoesOn) {
  json scenario = Demo();
  InsertInRule(scenario, GetParam().rule, GetParam().position, {{"drop", true}});
  sqlsim::Server server(scenario.dump());
  server.Start();
  const CommandRun run = RunCommand(server, std::string("drop-") + GetParam().name);
  const std::string lost =
      std::string("The connection to the server was lost during the section &quot;") +
      GetParam().section + "&quot;";
  EXPECT_EQ(run.exitCode, cli::kReportWithExceptions) << run.err;
  EXPECT_EQ(CountOf(run.html, lost), 1u) << Blocks(run.html);
  EXPECT_EQ(CountOf(run.html, "re-established and the report goes on"), 1u);
  EXPECT_NE(run.html.find("<h2>Database Replication:</h2>"), std::string::npos);
  EXPECT_TRUE(EndsClosed(run.html));
  EXPECT_NE(run.err.find("re-established in"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Positions, LostLink,
    ::testing::Values(
        DropPosition{"title", "Select SERVERPROPERTY('ServerName')", 0, "the report's title"},
        DropPosition{"walk", "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile", 7, "Databases"},
        DropPosition{"agent", "DECLARE @is_sysadmin", 0, "SQL Jobs"},
        DropPosition{"history", "SELECT distinct", 1, "SQL Jobs"}),
    [](const auto& info) { return std::string(info.param.name); });

// Wherever the link drops, the report is either complete with one block about it or, when the
// server is gone for good, closed where it ends with status 4.
TEST(LostLinkAnywhere, GivesACompleteOrAClosedReport) {
  std::size_t batches = 0;
  {
    sqlsim::Server server(sqlsim::DemoScenario());
    server.Start();
    ASSERT_EQ(RunCommand(server, "count").exitCode, cli::kReportWithExceptions);
    batches = server.Batches().size();
  }
  ASSERT_GT(batches, 50u);
  for (std::size_t at = 1; at <= batches; ++at) {
    const bool gone = at % 7 == 0;  // a sample of the failing reconnection: every run costs
    json scenario = Demo();
    scenario["faults"] = {{"dropOnceAtBatch", at}, {"refuseLoginsAfterDrop", gone}};
    sqlsim::Server server(scenario.dump());
    server.Start();
    const CommandRun run = RunCommand(server, "sweep");
    EXPECT_TRUE(EndsClosed(run.html)) << "drop at batch " << at;
    if (gone) {
      EXPECT_EQ(run.exitCode, cli::kReportFailed) << "drop at batch " << at;
      EXPECT_EQ(CountOf(run.html, "could not be re-established"), 1u) << "drop at batch " << at;
    } else {
      EXPECT_EQ(run.exitCode, cli::kReportWithExceptions) << "drop at batch " << at;
      EXPECT_EQ(CountOf(run.html, "re-established and the report goes on"), 1u)
          << "drop at batch " << at;
      EXPECT_NE(run.html.find("<h2>Database Replication:</h2>"), std::string::npos);
    }
  }
}

// A server gone for good: the report is closed at the section where the link was lost.
TEST(LostLinkForGood, ClosesTheReportThereAndEndsWithFour) {
  json scenario = Demo();
  InsertInRule(scenario, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile", 7, {{"drop", true}});
  scenario["faults"] = {{"refuseLoginsAfterDrop", true}};
  sqlsim::Server server(scenario.dump());
  server.Start();
  const CommandRun run = RunCommand(server, "gone");
  EXPECT_EQ(run.exitCode, cli::kReportFailed) << run.err;
  EXPECT_NE(run.html.find("The report ends here: The connection to the server was lost during the "
                          "section &quot;Databases&quot;"),
            std::string::npos)
      << Blocks(run.html);
  EXPECT_NE(run.html.find("could not be re-established (Login failed for user 'sa'.)"),
            std::string::npos);
  EXPECT_EQ(run.html.find("<h2>Fixed Database Roles:</h2>"), std::string::npos);
  EXPECT_TRUE(EndsClosed(run.html));
  EXPECT_NE(run.err.find("the report could not be completed"), std::string::npos) << run.err;
}

// ---- a driver that aborts, or waits for what never comes --------------------------------

// The driver fails an assertion on a column type it does not know and aborts the process: the
// report gathered so far is still closed and in place.
TEST(MalformedReply, AnAbortingDriverLeavesAClosedPartialReport) {
  json scenario = Demo();
  scenario["faults"] = {{"malformedMetadataAtBatch", 30}, {"malformedMetadata", "abort"}};
  sqlsim::Server server(scenario.dump());
  server.Start();
  const std::filesystem::path output = OutputPath("aborted");
  ReportProcess command(Args(server, output));
  EXPECT_EQ(command.Wait(std::chrono::seconds(60)), cli::kReportFailed) << command.Err();
  EXPECT_NE(command.Err().find("stopped by SIGABRT"), std::string::npos) << command.Err();
  const std::string html = ReadFile(output);
  EXPECT_NE(html.find("The report ends here: the program was stopped by SIGABRT (a fault in the "
                      "ODBC driver or in the program) during the section &quot;"),
            std::string::npos)
      << Blocks(html);
  EXPECT_NE(html.find("<h2>SQL Server Statistics"), std::string::npos);
  EXPECT_TRUE(EndsClosed(html));
  std::filesystem::remove(output);
}

// A reply cut short leaves the driver waiting; the query timeout ends the wait, the link is
// gone with it and is re-established.
TEST(MalformedReply, AStalledReplyEndsAtTheQueryTimeout) {
  json scenario = Demo();
  scenario["faults"] = {{"malformedMetadataAtBatch", 30}, {"malformedMetadata", "stall"}};
  sqlsim::Server server(scenario.dump());
  server.Start();
  const CommandRun run = RunCommand(server, "stall", {"--query-timeout", "2"});
  EXPECT_EQ(run.exitCode, cli::kReportWithExceptions) << run.err;
  EXPECT_EQ(CountOf(run.html, "Query timeout expired after 2 seconds"), 1u) << Blocks(run.html);
  EXPECT_EQ(CountOf(run.html, "re-established and the report goes on"), 1u) << Blocks(run.html);
  EXPECT_TRUE(EndsClosed(run.html));
}

// ---- interrupts and stalls ----------------------------------------------------------------

// A server that stalls on the devices: the test interrupts the command while it waits there.
class Interrupt : public ::testing::TestWithParam<int> {};

TEST_P(Interrupt, CancelsTheQueryAndClosesTheReportWhereItIs) {
  json scenario = Demo();
  InsertInRule(scenario, "exec master..sp_helpdevice", 0, {{"delay_ms", 60000}});
  sqlsim::Server server(scenario.dump());
  std::atomic<bool> waiting = false;
  server.OnBatch([&](const std::string& batch) {
    if (batch.find("sp_helpdevice") != std::string::npos) waiting = true;
  });
  server.Start();
  const std::filesystem::path output = OutputPath("interrupted");
  ReportProcess command(Args(server, output));
  const auto end = Clock::now() + std::chrono::seconds(30);
  while (!waiting && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(waiting);
  const auto interrupted = Clock::now();
  command.Signal(GetParam());
  EXPECT_EQ(command.Wait(std::chrono::seconds(20)), 128 + GetParam()) << command.Err();
  EXPECT_LT(Clock::now() - interrupted, std::chrono::seconds(5));
  const std::string html = ReadFile(output);
  const char* name = GetParam() == SIGINT ? "SIGINT" : GetParam() == SIGTERM ? "SIGTERM" : "SIGHUP";
  EXPECT_NE(html.find(std::string("The report ends here: the run was interrupted by ") + name),
            std::string::npos);
  EXPECT_NE(html.find("during the section &quot;Database Devices&quot;.</div>"), std::string::npos)
      << html.substr(html.size() > 2000 ? html.size() - 2000 : 0);
  EXPECT_EQ(html.find("<h2>Databases:</h2>"), std::string::npos);
  EXPECT_TRUE(EndsClosed(html));
  std::filesystem::remove(output);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// Over a servers file: the interrupt is passed on once to every running report, which closes where
// it is; no further server is started, and the index still lists them all.
TEST(FleetInterrupt, ClosesTheRunningReportsAndStartsNoOther) {
  json scenario = Demo();
  InsertInRule(scenario, "exec master..sp_helpdevice", 0, {{"delay_ms", 60000}});
  sqlsim::Server server(scenario.dump());
  std::atomic<int> waiting = 0;
  server.OnBatch([&](const std::string& batch) {
    if (batch.find("sp_helpdevice") != std::string::npos) ++waiting;
  });
  server.Start();
  const std::filesystem::path list = OutputPath("servers");
  std::ofstream(list) << ServerText(server) << " sa\n"
                      << ServerText(server) << " sa\n"
                      << ServerText(server) << " sa\n";
  const std::filesystem::path folder = OutputPath("fleet-interrupted");
  ReportProcess command(
      {"--servers", list.string(), "--output-dir", folder.string(), "--jobs", "2"});
  const auto end = Clock::now() + std::chrono::seconds(30);
  while (waiting < 2 && Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(waiting, 2);
  command.Signal(SIGINT);
  EXPECT_EQ(command.Wait(std::chrono::seconds(20)), 128 + SIGINT) << command.Err();
  const std::string index = ReadFile(folder / "index.htm");
  EXPECT_EQ(CountOf(index,
                    "Interrupted:</span> the run was interrupted by SIGINT during the "
                    "section &quot;Database Devices&quot;"),
            2u)
      << index;
  EXPECT_EQ(CountOf(index, "Not started:</span> the run was interrupted by SIGINT"), 1u) << index;
  std::size_t reports = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.path().extension() != ".htm" || file.path().filename() == "index.htm") continue;
    const std::string html = ReadFile(file.path());
    EXPECT_NE(html.find("The report ends here: the run was interrupted by SIGINT"),
              std::string::npos);
    EXPECT_TRUE(EndsClosed(html));
    ++reports;
  }
  EXPECT_EQ(reports, 2u);
  std::filesystem::remove_all(folder);
  std::filesystem::remove(list);
}

TEST(StalledServer, EachQueryIsGivenUpAfterTheQueryTimeout) {
  json scenario = Demo();
  InsertInRule(scenario, "exec master..sp_helpdevice", 0, {{"delay_ms", 60000}});
  InsertInRule(scenario, "exec master..sp_helpdb", 0, {{"delay_ms", 60000}});
  sqlsim::Server server(scenario.dump());
  server.Start();
  const auto started = Clock::now();
  const CommandRun run = RunCommand(server, "stalled", {"--query-timeout", "1"});
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(15));
  EXPECT_EQ(run.exitCode, cli::kReportWithExceptions) << run.err;
  EXPECT_EQ(CountOf(run.html, "Query timeout expired after 1 second"), 2u) << Blocks(run.html);
  EXPECT_TRUE(EndsClosed(run.html));
}

// ---- the report file ----------------------------------------------------------------------

class ReportFile : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = OutputPath("folder");
    std::filesystem::create_directories(folder);
    server.Start();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
  }
  std::filesystem::path folder;
  sqlsim::Server server{sqlsim::DemoScenario()};
};

TEST_F(ReportFile, ReplacesAHardLinkedTargetAndIsTheOwnersOnly) {
  const std::filesystem::path target = folder / "report.htm";
  const std::filesystem::path other = folder / "other-name.htm";
  std::ofstream(target) << "previous report";
  std::filesystem::permissions(target, std::filesystem::perms::all);
  std::filesystem::create_hard_link(target, other);
  ReportProcess command(Args(server, target));
  EXPECT_EQ(command.Wait(std::chrono::seconds(60)), cli::kReportWithExceptions) << command.Err();
  EXPECT_EQ(ReadFile(other), "previous report");
  EXPECT_TRUE(EndsClosed(ReadFile(target)));
  EXPECT_EQ(std::filesystem::status(target).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(FilesInFolder(), 2u);
}

TEST_F(ReportFile, AFullDiskLeavesThePreviousReportAndEndsWithFive) {
  const std::filesystem::path target = folder / "report.htm";
  std::ofstream(target) << "previous report";
  // 20 KB at most per file, and the signal a bigger write raises ignored, as for a full disk.
  ReportProcess command(Args(server, target), "ulimit -f 40; trap '' XFSZ;");
  EXPECT_EQ(command.Wait(std::chrono::seconds(60)), cli::kReportNotWritten) << command.Err();
  EXPECT_NE(command.Err().find("the report could not be written"), std::string::npos)
      << command.Err();
  EXPECT_EQ(ReadFile(target), "previous report");
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(ReportFile, AFolderThatIsNotThereEndsWithFiveBeforeAnyQuery) {
  std::atomic<int> batches = 0;
  server.OnBatch([&](const std::string&) { ++batches; });
  const CommandRun run =
      RunCommand(server, "no-folder", {"--output", (folder / "no" / "r.htm").string()});
  EXPECT_EQ(run.exitCode, cli::kReportNotWritten) << run.err;
  EXPECT_EQ(batches, 0);
}

}  // namespace
}  // namespace quorvane::e2e
