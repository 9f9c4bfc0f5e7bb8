#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>

namespace quorvane::cli {

namespace {

int WholeNumber(const std::string& option, const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    throw UsageError{option + " needs a whole number, not '" + text + "'"};
  }
  if (value < low || value > high) {
    throw UsageError{option + " must be from " + std::to_string(low) + " to " +
                     std::to_string(high)};
  }
  return value;
}

// The options that name one server's run, which a run over a servers file makes for each.
void CheckManyServers(const CliOptions& options) {
  if (options.servers.empty()) {
    if (!options.outputDir.empty()) throw UsageError{"--output-dir goes with --servers"};
    return;
  }
  if (options.outputDir.empty()) {
    throw UsageError{"--servers needs --output-dir, the folder for the reports and the index"};
  }
  if (!options.server.empty() || options.demo || options.login || !options.output.empty() ||
      !options.json.empty()) {
    throw UsageError{
        "--servers names the servers and logins, and the files are named in --output-dir: "
        "leave out --server, --demo, --login, --output and --json"};
  }
}

// The encryption options that contradict each other, or one that would have no effect.
void CheckEncryption(const connection::EncryptionOptions& e) {
  using connection::EncryptMode;
  const bool checks = !e.caFile.empty() || !e.hostNameInCertificate.empty();
  if (e.mode == EncryptMode::kOptional && checks) {
    throw UsageError{
        "--ca-file and --host-name-in-certificate go with --encrypt mandatory or strict "
        "(optional encryption never checks the certificate)"};
  }
  if (e.mode == EncryptMode::kStrict && e.trustServerCertificate) {
    throw UsageError{
        "--trust-server-certificate goes with --encrypt mandatory (strict encryption always "
        "checks the certificate)"};
  }
  if (e.trustServerCertificate && checks) {
    throw UsageError{
        "--trust-server-certificate skips the checks that --ca-file and "
        "--host-name-in-certificate are for"};
  }
}

}  // namespace

// No server name holds these: they would end or nest the connection string's fields, or are
// not text at all.
void CheckServerName(const std::string& name) {
  for (const char c : name) {
    if (c == ';' || c == '{' || c == '}' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw UsageError{"--server: a server name cannot hold ';', '{', '}' or control characters"};
    }
  }
}

CliOptions ParseCommandLine(const std::vector<std::string>& args) {
  CliOptions options;
  bool jobsGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--server" || arg == "-S") {
      options.server = value();
    } else if (arg == "--login" || arg == "-U") {
      options.login = value();
    } else if (arg == "--password-stdin") {
      options.passwordFromStdin = true;
    } else if (arg == "--password" || arg == "-P") {
      throw UsageError{
          "passwords are not taken as arguments (other users can read them): use "
          "--password-stdin or the environment variable QUORVANE_PASSWORD"};
    } else if (arg == "--provider") {
      options.provider = value();
    } else if (arg == "--timeout") {
      options.timeoutSeconds = WholeNumber(arg, value(), 0, 999);
    } else if (arg == "--query-timeout") {
      options.queryTimeoutSeconds = WholeNumber(arg, value(), 0, 86400);
    } else if (arg == "--encrypt") {
      const std::string& mode = value();
      if (mode == "optional") {
        options.encryption.mode = connection::EncryptMode::kOptional;
      } else if (mode == "mandatory") {
        options.encryption.mode = connection::EncryptMode::kMandatory;
      } else if (mode == "strict") {
        options.encryption.mode = connection::EncryptMode::kStrict;
      } else {
        throw UsageError{"--encrypt takes optional, mandatory or strict, not '" + mode + "'"};
      }
    } else if (arg == "--trust-server-certificate") {
      options.encryption.trustServerCertificate = true;
    } else if (arg == "--ca-file") {
      options.encryption.caFile = value();
      if (options.encryption.caFile.empty()) throw UsageError{arg + " needs a file name"};
    } else if (arg == "--host-name-in-certificate") {
      options.encryption.hostNameInCertificate = value();
      if (options.encryption.hostNameInCertificate.empty()) throw UsageError{arg + " needs a name"};
    } else if (arg == "--no-cmdshell") {
      options.allowCmdShell = false;
    } else if (arg == "--no-ole-automation") {
      options.allowOACreate = false;
    } else if (arg == "--no-replication") {
      options.ignoreReplication = true;
    } else if (arg == "--job-history") {
      options.jobHistory = WholeNumber(arg, value(), 1, 1000);
    } else if (arg == "--job-history-limit") {
      options.jobHistoryLimit = WholeNumber(arg, value(), 1, 1000);
    } else if (arg == "--output" || arg == "-o") {
      options.output = value();
      if (options.output.empty()) throw UsageError{arg + " needs a file name, not an empty one"};
    } else if (arg == "--json") {
      options.json = value();
      if (options.json.empty()) throw UsageError{arg + " needs a file name, not an empty one"};
    } else if (arg == "--servers") {
      options.servers = value();
      if (options.servers.empty()) throw UsageError{arg + " needs a file name, not an empty one"};
    } else if (arg == "--output-dir") {
      options.outputDir = value();
      if (options.outputDir.empty()) throw UsageError{arg + " needs a folder, not an empty one"};
    } else if (arg == "--jobs") {
      options.jobs = WholeNumber(arg, value(), 1, 64);
      jobsGiven = true;
    } else if (arg == "--findings") {
      options.findings = true;
    } else if (arg == "--debug" || arg == "-d") {
      options.debug = true;
    } else if (arg == "--demo") {
      options.demo = true;
    } else {
      throw UsageError{"unknown option '" + arg + "'"};
    }
  }
  if (options.help) return options;
  if (jobsGiven && options.servers.empty()) throw UsageError{"--jobs goes with --servers"};
  CheckManyServers(options);
  if (!options.servers.empty()) return options;
  if (options.demo && !options.server.empty()) {
    throw UsageError{"--demo reports on the built-in simulated server; leave out --server"};
  }
  if (!options.demo && options.server.empty()) {
    throw UsageError{"--server is required (or --demo for the built-in simulated server)"};
  }
  CheckServerName(options.server);
  CheckEncryption(options.encryption);
  if (options.passwordFromStdin && !options.login) {
    throw UsageError{"--password-stdin goes with --login (without it, Windows authentication)"};
  }
  return options;
}

std::string UsageText() {
  return R"(Usage: quorvane-report --server NAME [options]
       quorvane-report --demo [options]
       quorvane-report --servers FILE --output-dir DIR [--jobs N] [options]
       quorvane-report diff OLD.json NEW.json [-o FILE] [--all]

Writes an HTML inventory report of one SQL Server instance. It only reads from the server.

Connection:
  -S, --server NAME        server: host, host\instance, host,port or tcp:host,port
  -U, --login NAME         SQL Server login; without it, Windows authentication
      --password-stdin     read the login's password from the first line of standard input
                           (otherwise from the environment variable QUORVANE_PASSWORD)
      --provider NAME      OLE DB provider or ODBC driver name (default SQLOLEDB.1: the best
                           SQL Server ODBC driver installed)
      --timeout SECONDS    connection (login) timeout, 1 to 999, or 0 to wait as long as it
                           takes (default 15)
      --query-timeout SECONDS  how long each query may take, 1 to 86400, or 0 for no limit
                           (default 15); a server that stops answering is given up on after it
      --demo               start the built-in simulated server and report on it
      --encrypt MODE       optional (default): encrypted whenever the server can, the
                           certificate never checked; mandatory: always encrypted, the
                           certificate checked; strict: TDS 8.0 (Microsoft's ODBC Driver 18
                           or later only), the certificate always checked
      --trust-server-certificate  with mandatory: accept the certificate unchecked
      --ca-file FILE       check the certificate against FILE (PEM) instead of the system's
                           trusted authorities: the CA with FreeTDS; with Microsoft's driver
                           (strict only) the server's own certificate, matched exactly
      --host-name-in-certificate NAME  the name the certificate must hold, if not the
                           server's (Microsoft's ODBC Driver 18 or later only)

Report:
  -o, --output FILE        where to write the report (default: "SERVER_yyyy-mm-dd_hh.mm.ss.htm"
                           in the current folder)
      --json FILE          also write the run's snapshot (JSON: every section's status, errors
                           and result sets with typed values; docs/snapshot-format.md)
      --no-cmdshell        send no query that uses xp_cmdshell
      --no-ole-automation  send no query that uses OLE Automation (sp_OACreate)
      --no-replication     leave out the replication details
      --job-history N      rows of job history, 1 to 1000 (default 100)
      --job-history-limit N  rows of job failures and long-running jobs, 1 to 1000 (default 20)
      --findings           add the Findings section (risks read from the rows gathered, each
                           linking to its evidence) after the last section
  -d, --debug              write the debug comments of every single-value query into the report
  -h, --help               show this text

Many servers:
      --servers FILE       one server per line, optionally followed by a SQL Server login
                           (without one, Windows authentication); blank lines and lines starting
                           with # are ignored. One password, if any login needs it, as above
      --output-dir DIR     where each server's report, snapshot and log go (named as the save
                           dialog proposes), with index.htm listing every server
      --jobs N             servers reported at once, 1 to 64 (default 4)

Comparing two snapshots (of one server at two dates, or of two servers):
  diff OLD.json NEW.json   writes the drift report: rows added, removed and changed per section,
                           rows matched by their natural key (option, login, database, job, ...)
      -o, --output FILE    where to write it (default drift.htm)
      --all                compare volatile values too (counters, sizes, up-time, run times)
  Exit status: 0 no drift, 1 drift, 2 bad command line or a file that is not a snapshot this
  program reads, 5 the drift report could not be written.

Progress goes to standard error: section by section, and query by query when it is a terminal.
At the end, standard error lists each section that is not ok (empty, error, skipped by a setting,
interrupted) with the reason, a count line, and the count of findings per severity.
Ctrl+C (SIGINT), SIGTERM or SIGHUP cancels the running query and closes the report where it is.

Exit status: 0 report written without exceptions; 1 report written with exceptions;
2 bad command line; 3 connection failed; 4 the report could not be completed (it ends with a
block saying where and why); 5 the report or its snapshot could not be written (an earlier file
of that name is left as it was); 129, 130, 143 interrupted by SIGHUP, SIGINT, SIGTERM (the report, closed, ends
where it was interrupted). With --servers: the worst status of all servers.
)";
}

}  // namespace quorvane::cli
