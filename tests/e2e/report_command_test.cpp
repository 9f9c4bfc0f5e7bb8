#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_options.h"
#include "cli/console_host.h"
#include "cli/report_command.h"
#include "sqlserver_sim/server.h"

namespace quorvane::cli {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunCommand(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunReportCommand(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(CommandLine, DefaultsFollowTheSettingsTabDefaults) {
  const CliOptions o = ParseCommandLine({"--server", "SRV1"});
  EXPECT_EQ(o.server, "SRV1");
  EXPECT_FALSE(o.login);  // Windows authentication
  EXPECT_EQ(o.provider, "SQLOLEDB.1");
  EXPECT_EQ(o.timeoutSeconds, 15);
  EXPECT_TRUE(o.allowCmdShell);
  EXPECT_TRUE(o.allowOACreate);
  EXPECT_FALSE(o.ignoreReplication);
  EXPECT_EQ(o.jobHistory, 100);
  EXPECT_EQ(o.jobHistoryLimit, 20);
  EXPECT_EQ(o.queryTimeoutSeconds, 15);
  EXPECT_EQ(o.encryption, connection::EncryptionOptions{});  // optional, as before the option
}

TEST(CommandLine, EverySettingHasAnOption) {
  const CliOptions o = ParseCommandLine({"-S",
                                         "SRV1\\INST",
                                         "-U",
                                         "audit",
                                         "--password-stdin",
                                         "--provider",
                                         "FreeTDS",
                                         "--timeout",
                                         "30",
                                         "--no-cmdshell",
                                         "--no-ole-automation",
                                         "--no-replication",
                                         "--job-history",
                                         "1000",
                                         "--job-history-limit",
                                         "1",
                                         "-o",
                                         "out.htm",
                                         "--debug",
                                         "--encrypt",
                                         "strict",
                                         "--ca-file",
                                         "/etc/db.pem",
                                         "--host-name-in-certificate",
                                         "db.example"});
  EXPECT_EQ(o.server, "SRV1\\INST");
  EXPECT_EQ(o.login, "audit");
  EXPECT_TRUE(o.passwordFromStdin);
  EXPECT_EQ(o.provider, "FreeTDS");
  EXPECT_EQ(o.timeoutSeconds, 30);
  EXPECT_FALSE(o.allowCmdShell);
  EXPECT_FALSE(o.allowOACreate);
  EXPECT_TRUE(o.ignoreReplication);
  EXPECT_EQ(o.jobHistory, 1000);
  EXPECT_EQ(o.jobHistoryLimit, 1);
  EXPECT_EQ(o.output, "out.htm");
  EXPECT_TRUE(o.debug);
  EXPECT_EQ(o.encryption, (connection::EncryptionOptions{connection::EncryptMode::kStrict, false,
                                                         "/etc/db.pem", "db.example"}));
  EXPECT_TRUE(ParseCommandLine({"-S", "x", "--encrypt", "mandatory", "--trust-server-certificate"})
                  .encryption.trustServerCertificate);
}

TEST(CommandLine, BadCommandLinesAreRefusedWithAReason) {
  auto reason = [](const std::vector<std::string>& args) {
    try {
      ParseCommandLine(args);
    } catch (const UsageError& e) {
      return e.message;
    }
    return std::string("accepted");
  };
  EXPECT_NE(reason({}).find("--server is required"), std::string::npos);
  EXPECT_NE(reason({"--server"}).find("needs a value"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--bogus"}).find("unknown option '--bogus'"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--job-history", "1001"}).find("from 1 to 1000"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--job-history", "0"}).find("from 1 to 1000"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--timeout", "15s"}).find("whole number"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--password", "secret"}).find("not taken as arguments"),
            std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--password-stdin"}).find("goes with --login"), std::string::npos);
  EXPECT_NE(reason({"--demo", "-S", "x"}).find("leave out --server"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "-o", ""}).find("not an empty one"), std::string::npos);
  for (const char* name : {"a;Trusted_Connection=yes", "a{b", "a}", "a\nb"}) {
    EXPECT_NE(reason({"-S", name}).find("cannot hold"), std::string::npos) << name;
  }
  EXPECT_NE(reason({"-S", "x", "--query-timeout", "-1"}).find("from 0 to"), std::string::npos);
  EXPECT_NE(reason({"--servers", "s.txt"}).find("needs --output-dir"), std::string::npos);
  EXPECT_NE(reason({"--servers", "s.txt", "--output-dir", "d", "-S", "x"}).find("leave out"),
            std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--jobs", "2"}).find("goes with --servers"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--json", ""}).find("not an empty one"), std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--encrypt", "yes"}).find("optional, mandatory or strict"),
            std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--ca-file", "/ca.pem"}).find("go with --encrypt mandatory"),
            std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--encrypt", "strict", "--trust-server-certificate"})
                .find("goes with --encrypt mandatory"),
            std::string::npos);
  EXPECT_NE(reason({"-S", "x", "--encrypt", "mandatory", "--trust-server-certificate",
                    "--host-name-in-certificate", "db"})
                .find("skips the checks"),
            std::string::npos);
}

TEST(ReportCommand, BadOptionExitsWithTwoAndHelpWithZero) {
  Outcome bad = RunCommand({"--server", "x", "--nope"});
  EXPECT_EQ(bad.status, kBadCommandLine);
  EXPECT_NE(bad.err.find("unknown option '--nope'"), std::string::npos);
  Outcome help = RunCommand({"--help"});
  EXPECT_EQ(help.status, kReportClean);
  EXPECT_NE(help.out.find("Usage: quorvane-report"), std::string::npos);
}

TEST(ReportCommand, UnreadableCaFileIsABadCommandLine) {
  Outcome o =
      RunCommand({"--server", "x", "--encrypt", "mandatory", "--ca-file", "/nonexistent/ca"});
  EXPECT_EQ(o.status, kBadCommandLine);
  EXPECT_NE(o.err.find("--ca-file: cannot read /nonexistent/ca"), std::string::npos) << o.err;
}

TEST(ReportCommand, LoginWithoutPasswordOnStdinIsABadCommandLine) {
  Outcome o = RunCommand({"--server", "x", "--login", "sa", "--password-stdin"}, "");
  EXPECT_EQ(o.status, kBadCommandLine);
  EXPECT_NE(o.err.find("no password on standard input"), std::string::npos);
}

TEST(ReportCommand, UnreachableServerExitsWithThreeAndTheDriversMessage) {
  // Port 1 on loopback: nothing listens there, so the driver's refusal comes back at once.
  Outcome o = RunCommand({"--server", "127.0.0.1,1", "--login", "sa", "--password-stdin",
                          "--timeout", "5", "--output", ::testing::TempDir() + "unreachable.htm"},
                         "not-the-password\n");
  EXPECT_EQ(o.status, kConnectionFailed);
  EXPECT_NE(o.err.find("connection failed: "), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("not-the-password"), std::string::npos) << "the password leaked";
  EXPECT_NE(o.err.find("Nothing answered at 127.0.0.1 port 1: the connection was refused"),
            std::string::npos)
      << o.err;
}

// The driver says only "Unable to connect to data source"; the command says what stood in the
// way. The empty label makes the resolver fail without asking any name server.
TEST(ReportCommand, AGenericDriverFailureIsExplained) {
  const Outcome unknown = RunCommand({"--server", "no..such,1433", "--timeout", "5", "--output",
                                      ::testing::TempDir() + "unknown.htm"});
  EXPECT_EQ(unknown.status, kConnectionFailed);
  EXPECT_NE(unknown.err.find("The server name \"no..such\" could not be resolved"),
            std::string::npos)
      << unknown.err;

  sqlsim::Server server(sqlsim::DemoScenario());
  server.Start();
  const Outcome kerberos = RunCommand({"--server", "127.0.0.1," + std::to_string(server.Port()),
                                       "--output", ::testing::TempDir() + "kerberos.htm"});
  EXPECT_EQ(kerberos.status, kConnectionFailed);
  EXPECT_NE(kerberos.err.find("answers, so the Windows authentication failed"), std::string::npos)
      << kerberos.err;
  EXPECT_NE(kerberos.err.find("kinit"), std::string::npos);
}

// On a terminal the progress line counts the queries of the section, so that a long wait on a
// slow server is never silent; a message gets a line of its own.
TEST(ConsoleHost, OnATerminalTheLineCountsTheQueriesOfTheSection) {
  const CliOptions options;
  std::ostringstream progress;
  ConsoleHost host(options, progress, true);
  host.SectionStarted("Operators", 7, 14);
  host.QueryStarted();
  host.QueryStarted();
  host.Notify("lost");
  host.SectionStarted("Alerts", 8, 14);
  host.StopProgress();
  EXPECT_EQ(progress.str(),
            "[7/14] Operators\r[7/14] Operators: query 1\r[7/14] Operators: query 2\nlost\n"
            "[8/14] Alerts\n");
}

}  // namespace
}  // namespace quorvane::cli
