#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/encryption.h"
#include "connection/server_list.h"
#include "data/connection.h"

namespace quorvane::report {
class QueryRunner;
class ReportRun;
}  // namespace quorvane::report

namespace quorvane::connection {

class FreeTdsConfig;

// What the login dialog (`JvLoginDialog1`) shows.
struct LoginPrompt {
  std::string caption;   // "Log into " + server text
  std::string title;     // "Log into SQL Server " + server text
  std::string userName;  // pre-filled; when not empty the focus starts in the password field
};

struct LoginAnswer {
  std::string userName;
  std::string password;
};

// What `Connect` needs from the window (or from the report command, or from a test).
class ConnectHost {
 public:
  virtual ~ConnectHost() = default;

  virtual std::string ServerText() const = 0;      // `SQLServerComboBox`, as typed
  virtual bool WindowsAuthentication() const = 0;  // `WinAuthCheckBox` ticked
  virtual std::string TimeoutText() const = 0;     // `ConnectionTimeoutMaskEdit`
  virtual std::string ProviderText() const = 0;    // `ProviderEdit`, as typed
  // The Settings tab's encryption group.
  virtual EncryptionOptions Encryption() const { return {}; }

  // Shows the login dialog modally; nothing when the user cancels.
  virtual std::optional<LoginAnswer> ShowLoginDialog(const LoginPrompt& prompt) = 0;

  // Points the report view at the empty page "about:".
  virtual void ClearReportView() = 0;
  virtual void ProcessEvents() = 0;
  virtual void SetWaitCursor() = 0;
  virtual void RestoreDefaultCursor() = 0;
  // A modal error box (error icon, single OK button) with `message` as its text.
  virtual void ShowError(const std::string& message) = 0;
  // After a failed connection or report run: what the application-wide error handler restores
  // (progress timer stopped and bar disabled, server box, Connect and Close enabled), so that
  // Connect can be pressed again.
  virtual void RestoreIdleControls() = 0;
};

// The report side as `Connect` touches it; empty functions are skipped.
struct ReportHooks {
  std::function<void()> closeQuery;  // close `ADOQuery1`, clear its field list and SQL text
  std::function<void()> clearReportBuffer;
  std::function<void()> resetReportExceptionCount;
  std::function<void()> gatherInformation;  // the report run, as the after-connect event
};

// The hooks for a query runner, with the report run to start.
ReportHooks HooksFor(report::QueryRunner& runner, std::function<void()> gatherInformation);
// The hooks for the report run that the connection is to start.
ReportHooks HooksFor(report::ReportRun& run);

// Asks unixODBC for the names of the installed drivers.
using DriverLister = std::function<std::vector<std::string>()>;

// How `Connect` ended; every failure has been shown in an error box already.
enum class ConnectOutcome {
  kNothingToDo,     // blank server text
  kInvalidTimeout,  // the timeout text is not a number of seconds
  kCancelled,       // the login dialog was cancelled
  kFailed,          // the connection string, the open or the report run failed
  kConnected,       // the report ran; the server list holds the server with its login
};

// The connection `SQLServer` as the main window drives it: `Connect` and the login dialog's
// password event. Holds the last login name and password, in memory only.
class Connector {
 public:
  // `freetds` is the process's private freetds.conf, without which FreeTDS cannot check a
  // certificate.
  Connector(ConnectHost& host, data::Connection& SQLServer, ServerList& servers, ReportHooks report,
            DriverLister installedDrivers, FreeTdsConfig* freetds = nullptr);
  ~Connector();
  Connector(const Connector&) = delete;
  Connector& operator=(const Connector&) = delete;

  // The Connect button's click handler, also run by Enter in the server box: Prepare, Open
  // and Finish in one go.
  ConnectOutcome Connect();

  // The same in three steps, for a window that opens the connection (and so runs the report)
  // on another thread. Prepare (steps up to the login dialog and the connection string) and
  // Finish run where the host lives; Open may run anywhere while nothing else uses the
  // connection.
  //
  // Prepare: the outcome when Connect ends there, nothing when the connection is to be opened.
  std::optional<ConnectOutcome> Prepare();
  // Opens the connection, which runs the report. Throws what the open or the run throws; a
  // connection refused for its encryption with the reason found by looking at the server.
  void Open();
  // After Open: records the server with its login, or shows `failure` in an error box.
  ConnectOutcome Finish(std::exception_ptr failure);

  // The login dialog's password event: keeps the user name and password for this connection.
  void JvLoginDialog1GetPassword(const std::string& userName, std::string& password);

  const std::string& LastLoginName() const { return lastLoginName_; }

 private:
  void Fail(std::string message);
  std::string WithoutPassword(std::string message) const;

  ConnectHost& host_;
  data::Connection& SQLServer_;
  ServerList& servers_;
  ReportHooks report_;
  DriverLister installedDrivers_;
  FreeTdsConfig* freetds_;
  std::string lastLoginName_;
  std::string lastPassword_;
  // What Prepare found, for Finish.
  std::string pendingName_;
  bool pendingWindowsAuthentication_ = true;
  // What Open needs to explain a refusal.
  std::string pendingServerText_;
  EncryptionOptions pendingEncryption_;
  int pendingTimeout_ = 0;
};

// The timeout field's text as seconds: blanks around digits allowed, nothing else.
std::optional<int> ParseTimeout(std::string_view text);

}  // namespace quorvane::connection
