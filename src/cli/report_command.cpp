#include "cli/report_command.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>

#include "cli/child_process.h"
#include "cli/cli_options.h"
#include "cli/console_host.h"
#include "cli/diff_command.h"
#include "cli/fleet_command.h"
#include "cli/interrupt_watcher.h"
#include "connection/connect_failure.h"
#include "connection/connection_string.h"
#include "connection/odbc_connection_string.h"
#include "connection/settings.h"
#include "data/database_error.h"
#include "data/odbc/odbc_connection.h"
#include "data/path_text.h"
#include "data/secure_wipe.h"
#include "findings/findings_collector.h"
#include "findings/findings_output.h"
#include "report/locale_text.h"
#include "report/recorder_fan_out.h"
#include "report/report_name.h"
#include "report/report_run.h"
#include "report/text.h"
#include "sections/outline.h"
#include "snapshot/coverage_ledger.h"
#include "snapshot/snapshot_writer.h"
#include "sqlserver_sim/server.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quorvane::cli {

namespace {

struct Credentials {
  std::optional<std::string> login;
  std::string password;
};

Credentials ReadCredentials(const CliOptions& options, std::istream& in) {
  Credentials credentials{options.login, {}};
  if (!options.login) return credentials;
  if (options.passwordFromStdin) {
    if (!std::getline(in, credentials.password)) {
      throw UsageError{"--password-stdin: no password on standard input"};
    }
    if (!credentials.password.empty() && credentials.password.back() == '\r') {
      credentials.password.pop_back();
    }
  } else if (const auto env = connection::SystemEnvironment("QUORVANE_PASSWORD")) {
    credentials.password = *env;
  } else {
    throw UsageError{"--login needs a password: --password-stdin or QUORVANE_PASSWORD"};
  }
  return credentials;
}

// The settings as the snapshot records them, by their settings-file names.
nlohmann::json SettingsJson(const CliOptions& options) {
  return {{"AllowCmdShell", options.allowCmdShell},
          {"AllowOACreate", options.allowOACreate},
          {"IgnoreReplicationSection", options.ignoreReplication},
          {"JobHistory", options.jobHistory},
          {"JobHistoryLimit", options.jobHistoryLimit},
          {"LoginTimeoutSeconds", options.timeoutSeconds},
          {"QueryTimeoutSeconds", options.queryTimeoutSeconds},
          {"Provider", options.provider},
          {"Debug", options.debug},
          {"Findings", options.findings},
          {"Encrypt", std::string(connection::EncryptModeName(options.encryption.mode))},
          {"TrustServerCertificate", options.encryption.trustServerCertificate}};
}

nlohmann::json TargetJson(const CliOptions& options, const std::string& serverText,
                          const std::optional<std::string>& login) {
  return {{"server", serverText},
          {"login", login ? nlohmann::json(*login) : nlohmann::json(nullptr)},
          {"demo", options.demo}};
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return ::_isatty(::_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                     std::ostream& err, const std::filesystem::path& program,
                     connection::FreeTdsConfig* freetds) {
  if (!args.empty() && args.front() == "diff") {
    return RunDiffCommand(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  }
  CliOptions options;
  Credentials credentials;
  try {
    options = ParseCommandLine(args);
    if (options.help) {
      out << UsageText();
      return kReportClean;
    }
    if (!options.servers.empty()) {
      return RunFleetCommand(options, in, out, err, program.empty() ? CurrentProgram() : program);
    }
    credentials = ReadCredentials(options, in);
    if (const std::string& file = options.encryption.caFile;
        !file.empty() && !std::ifstream(data::PathFromUtf8(file))) {
      throw UsageError{"--ca-file: cannot read " + file};
    }
  } catch (const UsageError& error) {
    err << "quorvane-report: " << error.message << "\nTry 'quorvane-report --help'.\n";
    return kBadCommandLine;
  }

  data::OdbcConnection SQLServer;
  ConsoleHost host(options, err, StandardErrorIsTerminal());

  // Before the run has begun an interrupt just ends the program; during it, the running query is
  // cancelled and the report closed where it is; a second interrupt ends the program at once.
  std::mutex runMutex;
  report::ReportRun* running = nullptr;
  int interruptCount = 0;
  InterruptWatcher interrupts([&](int signal) {
    const std::lock_guard lock(runMutex);
    if (!running || interruptCount++ > 0) {
      host.EndLine();
      err << "quorvane-report: interrupted by " << InterruptWatcher::NameOf(signal) << "\n"
          << std::flush;
      std::_Exit(InterruptWatcher::ExitStatusFor(signal));
    }
    running->RequestStop(std::string("the run was interrupted by ") +
                         InterruptWatcher::NameOf(signal));
    SQLServer.Cancel();
  });
  auto setRunning = [&](report::ReportRun* run) {
    const std::lock_guard lock(runMutex);
    running = run;
  };

  std::unique_ptr<sqlsim::Server> simulator;
  std::string serverText = options.server;
  if (options.demo) {
    simulator = std::make_unique<sqlsim::Server>(sqlsim::DemoScenario());
    simulator->Start("127.0.0.1", 0);
    serverText = "127.0.0.1," + std::to_string(simulator->Port());
    credentials = {sqlsim::kDemoLogin, sqlsim::kDemoPassword};
    err << "Started the simulated demo server on " << serverText << "\n";
  }

  try {
    std::string oleDb =
        credentials.login
            ? connection::OleDbConnectionString(options.provider, serverText, *credentials.login,
                                                credentials.password, options.encryption)
            : connection::OleDbConnectionString(options.provider, serverText, options.encryption);
    data::SecureWipe(credentials.password);
    SQLServer.SetConnectionString(connection::OdbcConnectionString(
        oleDb, data::InstalledOdbcDrivers(), connection::kThisPlatform, freetds));
    data::SecureWipe(oleDb);
  } catch (const connection::ConnectionStringError& error) {
    err << "quorvane-report: " << error.what() << "\n";
    return kConnectionFailed;
  }
  SQLServer.SetConnectionTimeout(options.timeoutSeconds);
  SQLServer.SetCommandTimeout(options.timeoutSeconds);

  // The report's start time is taken when the run starts, after the connection is open, as the
  // window does; the proposed name comes from it.
  report::ReportRunOptions runOptions;
  runOptions.debugMode = options.debug;
  runOptions.queryTimeoutSeconds = options.queryTimeoutSeconds;
  runOptions.keepReportInMemory = false;  // the file is all the command needs
  if (options.output.empty()) {
    const std::string named = options.demo ? "QUORVANE-DEMO" : serverText;
    runOptions.reportFileFor = [named](const data::DateTime& start) {
      return data::PathFromUtf8(report::ProposedReportName(named, start));
    };
  } else {
    runOptions.temporaryReportFile = data::PathFromUtf8(options.output);
  }
  const sections::StandardOutline outline;
  // The ledger follows every run; the snapshot, when asked for, is written from the same calls.
  snapshot::CoverageLedger ledger(outline.SectionCount());
  std::unique_ptr<snapshot::SnapshotWriter> snapshot;
  if (!options.json.empty()) {
    snapshot = std::make_unique<snapshot::SnapshotWriter>(
        data::PathFromUtf8(options.json),
        snapshot::SnapshotHeader{report::GetVersionString(),
                                 TargetJson(options, serverText, credentials.login),
                                 SettingsJson(options)},
        ledger);
  }
  // The findings are drawn from the same calls, always: the snapshot and the summary carry them.
  findings::FindingsCollector findings;
  report::RecorderFanOut recorders{
      &findings, snapshot ? static_cast<report::RunRecorder*>(snapshot.get()) : &ledger};
  runOptions.recorder = &recorders;
  if (options.findings) {
    runOptions.closingEntries = [&findings] { return findings::FindingsSectionEntries(findings); };
  }
  // Said once the run has ended, however it ended; false when the snapshot could not be written.
  auto closeRecords = [&]() -> bool {
    host.EndLine();
    snapshot::PrintLedger(err, ledger);
    const std::vector<findings::Finding>& found = findings.Findings();
    err << findings::FindingsSummaryLine(found) << "\n";
    if (!snapshot) return true;
    try {
      snapshot->Finish(report::LocalNow(), findings::FindingsJson(found));
      return true;
    } catch (const report::ReportWriteError& error) {
      err << "quorvane-report: the snapshot could not be written: " << error.what() << "\n";
      return false;
    }
  };
  report::ReportRun run(SQLServer, host, outline, runOptions);
  run.ResetReportExceptionCount();

  err << "Connecting to " << serverText << "...\n";
  const auto started = std::chrono::steady_clock::now();
  bool connected = false;
  try {
    SQLServer.Open([&] {
      connected = true;
      err << "Connected; collecting information:\n";
      setRunning(&run);
      run.GatherInformation();
      setRunning(nullptr);
    });
  } catch (const std::exception& error) {
    setRunning(nullptr);
    SQLServer.ForgetConnectionString();
    host.EndLine();
    if (!connected) {
      err << "quorvane-report: connection failed: " << error.what() << "\n";
      // The driver seldom says more than "failed" about a refused certificate, or about a
      // server it could not reach.
      if (const auto why = connection::ExplainRefusedConnection(
              error,
              {serverText, !credentials.login.has_value(), options.timeoutSeconds,
               options.encryption},
              {"--trust-server-certificate", "--encrypt optional"})) {
        err << "quorvane-report: " << *why << "\n";
      }
      return kConnectionFailed;
    }
    closeRecords();
    if (dynamic_cast<const report::ReportWriteError*>(&error)) {
      err << "quorvane-report: the report could not be written: " << error.what() << "\n";
      return kReportNotWritten;
    }
    err << "quorvane-report: the report could not be completed: " << error.what()
        << "\nWhat was collected so far, closed where it ends, is in "
        << data::Utf8FromPath(run.TemporaryReportFile()) << "\n";
    if (const int signal = interrupts.Received()) return InterruptWatcher::ExitStatusFor(signal);
    return kReportFailed;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const int exceptions = run.ReportExceptionCount();
  const bool snapshotWritten = closeRecords();
  out << "Report written to " << data::Utf8FromPath(run.TemporaryReportFile()) << " in "
      << std::fixed << std::setprecision(2) << seconds << " s with " << exceptions
      << " exception(s).\n";
  if (!snapshotWritten) return kReportNotWritten;
  if (snapshot) out << "Snapshot written to " << options.json << ".\n";
  return exceptions > 0 ? kReportWithExceptions : kReportClean;
}

}  // namespace quorvane::cli
