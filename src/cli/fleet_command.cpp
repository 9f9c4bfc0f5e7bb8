#include "cli/fleet_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "cli/child_process.h"
#include "cli/fleet_outcome.h"
#include "cli/fleet_servers.h"
#include "cli/interrupt_watcher.h"
#include "cli/report_command.h"
#include "connection/settings.h"
#include "data/path_text.h"
#include "data/secure_wipe.h"
#include "report/locale_text.h"
#include "report/report_file.h"
#include "report/report_name.h"
#include "snapshot/fleet_index.h"

namespace quorvane::cli {

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What every server's run is given besides its server, login and files.
std::vector<std::string> SharedArguments(const CliOptions& options) {
  std::vector<std::string> args{"--provider",          options.provider,
                                "--timeout",           std::to_string(options.timeoutSeconds),
                                "--query-timeout",     std::to_string(options.queryTimeoutSeconds),
                                "--job-history",       std::to_string(options.jobHistory),
                                "--job-history-limit", std::to_string(options.jobHistoryLimit)};
  if (!options.allowCmdShell) args.push_back("--no-cmdshell");
  if (!options.allowOACreate) args.push_back("--no-ole-automation");
  if (options.ignoreReplication) args.push_back("--no-replication");
  if (options.debug) args.push_back("--debug");
  if (options.findings) args.push_back("--findings");
  // Every server of the file is reached as encrypted as the command line asks.
  const connection::EncryptionOptions& encryption = options.encryption;
  using connection::EncryptMode;
  args.insert(args.end(), {"--encrypt", encryption.mode == EncryptMode::kStrict      ? "strict"
                                        : encryption.mode == EncryptMode::kMandatory ? "mandatory"
                                                                                     : "optional"});
  if (encryption.trustServerCertificate) args.push_back("--trust-server-certificate");
  if (!encryption.caFile.empty()) args.insert(args.end(), {"--ca-file", encryption.caFile});
  if (!encryption.hostNameInCertificate.empty()) {
    args.insert(args.end(), {"--host-name-in-certificate", encryption.hostNameInCertificate});
  }
  return args;
}

class Fleet {
 public:
  Fleet(const CliOptions& options, std::vector<FleetServer> servers, std::string password,
        fs::path program, std::ostream& err)
      : options_(options),
        servers_(std::move(servers)),
        entries_(servers_.size()),
        statuses_(servers_.size(), -1),
        password_(std::move(password)),
        program_(std::move(program)),
        folder_(data::PathFromUtf8(options.outputDir)),
        err_(err) {}

  ~Fleet() { data::SecureWipe(password_); }

  void Run() {
    const auto workers =
        std::min<std::size_t>(static_cast<std::size_t>(options_.jobs), servers_.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers; ++i) threads.emplace_back([this] { Work(); });
    for (std::thread& thread : threads) thread.join();
    if (failure_) std::rethrow_exception(failure_);
  }

  // From the interrupt watcher's thread: no server is started any more, and the running ones
  // are asked to stop, each closing its report where it is.
  void Interrupt(int signal) {
    const std::lock_guard lock(mutex_);
    if (!stopping_) {
      err_ << "quorvane-report: interrupted by " << InterruptWatcher::NameOf(signal)
           << "; the running reports are being closed\n"
           << std::flush;
    }
    stopping_ = true;
    stopReason_ = std::string("the run was interrupted by ") + InterruptWatcher::NameOf(signal);
    for (ChildProcess* child : running_) child->Interrupt(signal);
  }

  const std::vector<snapshot::FleetEntry>& Entries() const { return entries_; }
  int WorstStatus() const { return *std::max_element(statuses_.begin(), statuses_.end()); }
  std::size_t Count(int status) const {
    return static_cast<std::size_t>(std::count(statuses_.begin(), statuses_.end(), status));
  }

 private:
  void Work() {
    try {
      for (std::size_t i = next_++; i < servers_.size(); i = next_++) Report(i);
    } catch (...) {
      const std::lock_guard lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
    }
  }

  // The proposed name of the save dialog, told apart from another server's of the same second.
  std::string UniqueStem(const std::string& server) {
    std::string stem = report::ProposedReportName(server, report::LocalNow());
    stem.resize(stem.size() - 4);  // ".htm"
    std::string unique = stem;
    for (int n = 2; stems_.contains(unique); ++n) unique = stem + "_" + std::to_string(n);
    stems_.insert(unique);
    return unique;
  }

  std::string Counter(std::size_t index) const {
    return "[" + std::to_string(index + 1) + "/" + std::to_string(servers_.size()) + "] ";
  }

  void Report(std::size_t index) {
    const FleetServer& server = servers_[index];
    snapshot::FleetEntry& entry = entries_[index];
    entry.server = server.server;
    std::unique_ptr<ChildProcess> child;
    fs::path log;
    fs::path html;
    fs::path json;
    const auto started = std::chrono::steady_clock::now();
    {
      const std::lock_guard lock(mutex_);
      if (stopping_) {
        entry.status = "Not started";
        entry.reason = stopReason_;
        statuses_[index] = kReportFailed;
        return;
      }
      const std::string stem = UniqueStem(server.server);
      html = folder_ / data::PathFromUtf8(stem + ".htm");
      json = folder_ / data::PathFromUtf8(stem + ".json");
      log = folder_ / data::PathFromUtf8(stem + ".log");
      std::vector<std::string> args{"--server", server.server};
      std::string input;
      if (server.login) {
        args.insert(args.end(), {"--login", *server.login, "--password-stdin"});
        input = password_ + "\n";
      }
      args.insert(args.end(),
                  {"--output", data::Utf8FromPath(html), "--json", data::Utf8FromPath(json)});
      const std::vector<std::string> shared = SharedArguments(options_);
      args.insert(args.end(), shared.begin(), shared.end());
      err_ << Counter(index) << "started " << server.server << "\n" << std::flush;
      try {
        child = std::make_unique<ChildProcess>(program_, args, input, log);
        running_.insert(child.get());
      } catch (const std::system_error& error) {
        entry.status = "Not started";
        entry.reason = error.what();
        statuses_[index] = kReportFailed;
      }
      data::SecureWipe(input);
    }
    int status = statuses_[index];
    if (child) {
      status = child->Wait();
      const std::lock_guard lock(mutex_);
      running_.erase(child.get());
    }
    entry.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (child) DescribeRun(entry, status, html, json, log);
    const std::lock_guard lock(mutex_);
    statuses_[index] = status;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", entry.seconds);
    err_ << Counter(index) << server.server << ": " << entry.status
         << (entry.reason.empty() ? "" : ": " + entry.reason) << " (" << seconds << " s)\n"
         << std::flush;
  }

  const CliOptions& options_;
  const std::vector<FleetServer> servers_;
  std::vector<snapshot::FleetEntry> entries_;  // each written by the one worker of its server
  std::vector<int> statuses_;
  std::string password_;
  const fs::path program_;
  const fs::path folder_;
  std::ostream& err_;
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;  // guards what follows, and err_
  std::set<ChildProcess*> running_;
  std::set<std::string> stems_;
  bool stopping_ = false;
  std::string stopReason_;
  std::exception_ptr failure_;
};

std::string ReadPassword(const CliOptions& options, std::istream& in) {
  std::string password;
  if (options.passwordFromStdin) {
    if (!std::getline(in, password))
      throw UsageError{"--password-stdin: no password on standard input"};
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
  }
  if (const auto env = connection::SystemEnvironment("QUORVANE_PASSWORD")) return *env;
  throw UsageError{
      "a login in the servers file needs a password: --password-stdin or QUORVANE_PASSWORD"};
}

}  // namespace

int RunFleetCommand(const CliOptions& options, std::istream& in, std::ostream& out,
                    std::ostream& err, const fs::path& program) {
  std::vector<FleetServer> servers;
  std::string password;
  try {
    const fs::path list = data::PathFromUtf8(options.servers);
    if (!fs::is_regular_file(list))
      throw UsageError{"cannot read the servers file " + options.servers};
    servers = ParseFleetServers(ReadText(list), options.servers);
    const bool loginNeeded = std::any_of(servers.begin(), servers.end(),
                                         [](const FleetServer& s) { return s.login.has_value(); });
    if (loginNeeded) password = ReadPassword(options, in);
  } catch (const UsageError& error) {
    err << "quorvane-report: " << error.message << "\nTry 'quorvane-report --help'.\n";
    return kBadCommandLine;
  }
  const fs::path folder = data::PathFromUtf8(options.outputDir);
  std::error_code made;
  fs::create_directories(folder, made);
  if (made) {
    err << "quorvane-report: cannot create the folder " << options.outputDir << ": "
        << made.message() << "\n";
    return kReportNotWritten;
  }

  Fleet fleet(options, std::move(servers), std::move(password), program, err);
  InterruptWatcher interrupts([&](int signal) { fleet.Interrupt(signal); });
  fleet.Run();

  const fs::path index = folder / "index.htm";
  int status = fleet.WorstStatus();
  try {
    report::WriteReportFile(index, snapshot::FleetIndexHtml(fleet.Entries()));
    out << "Index of " << fleet.Entries().size() << " server(s) written to "
        << data::Utf8FromPath(index) << ": "
        << fleet.Count(kReportClean) + fleet.Count(kReportWithExceptions) << " report(s) written, "
        << fleet.Count(kReportWithExceptions) << " of them with exceptions.\n";
  } catch (const report::ReportWriteError& error) {
    err << "quorvane-report: the index could not be written: " << error.what() << "\n";
    status = std::max<int>(status, kReportNotWritten);
  }
  if (const int signal = interrupts.Received()) return InterruptWatcher::ExitStatusFor(signal);
  return status;
}

}  // namespace quorvane::cli
