#include "connection/connect.h"

#include <charconv>

#include "connection/connect_failure.h"
#include "connection/connection_string.h"
#include "connection/odbc_connection_string.h"
#include "connection/tls_diagnosis.h"
#include "data/database_error.h"
#include "data/secure_wipe.h"
#include "report/query_runner.h"
#include "report/report_run.h"

namespace quorvane::connection {

namespace {

void Call(const std::function<void()>& hook) {
  if (hook) hook();
}

// Shorter passwords would blank out ordinary words of a message.
constexpr std::size_t kMinScrubbedPassword = 4;

const TlsAdvice kSettingsTabAdvice{"\"Trust server certificate\" on the Settings tab",
                                   "Optional encryption on the Settings tab"};

}  // namespace

ReportHooks HooksFor(report::QueryRunner& runner, std::function<void()> gatherInformation) {
  return {
      [&runner] {
        runner.ADOQuery1.Close();
        runner.ADOQuery1.ClearFields();
        runner.ADOQuery1.ClearText();
      },
      [&runner] { runner.Buffer().Clear(); },
      [&runner] { runner.ReportExceptionCount = 0; },
      std::move(gatherInformation),
  };
}

ReportHooks HooksFor(report::ReportRun& run) {
  return HooksFor(run.Runner(), [&run] { run.GatherInformation(); });
}

std::optional<int> ParseTimeout(std::string_view text) {
  const std::string_view digits = TrimBlanks(text);
  int seconds = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
  if (digits.empty() || digits.front() == '-' || error != std::errc{} ||
      end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return seconds;
}

Connector::Connector(ConnectHost& host, data::Connection& SQLServer, ServerList& servers,
                     ReportHooks report, DriverLister installedDrivers, FreeTdsConfig* freetds)
    : host_(host),
      SQLServer_(SQLServer),
      servers_(servers),
      report_(std::move(report)),
      installedDrivers_(std::move(installedDrivers)),
      freetds_(freetds) {}

Connector::~Connector() {
  data::SecureWipe(lastPassword_);
}

void Connector::JvLoginDialog1GetPassword(const std::string& userName, std::string& password) {
  lastLoginName_ = userName;
  data::SecureWipe(lastPassword_);
  lastPassword_ = password;
}

ConnectOutcome Connector::Connect() {
  if (const std::optional<ConnectOutcome> ended = Prepare()) return *ended;
  try {
    Open();
  } catch (...) {
    return Finish(std::current_exception());
  }
  return Finish(nullptr);
}

std::optional<ConnectOutcome> Connector::Prepare() {
  const std::string serverText = host_.ServerText();
  const std::string name(TrimBlanks(serverText));
  if (name.empty()) return ConnectOutcome::kNothingToDo;

  // Only an earlier failure leaves the connection open; the report run closes it itself.
  if (SQLServer_.Connected()) {
    Call(report_.closeQuery);
    SQLServer_.Close();
  }
  Call(report_.clearReportBuffer);
  host_.ClearReportView();

  const std::string timeoutText = host_.TimeoutText();
  const std::optional<int> timeout = ParseTimeout(timeoutText);
  if (!timeout) {
    host_.ShowError("The connection timeout \"" + timeoutText +
                    "\" is not a whole number of seconds.");
    return ConnectOutcome::kInvalidTimeout;
  }
  SQLServer_.SetConnectionTimeout(*timeout);
  SQLServer_.SetCommandTimeout(*timeout);
  // Paint the cleared view before the possibly long open.
  host_.ProcessEvents();

  const bool windowsAuthentication = host_.WindowsAuthentication();
  const std::string provider = host_.ProviderText();
  const EncryptionOptions encryption = host_.Encryption();
  std::string oleDb;
  if (windowsAuthentication) {
    oleDb = OleDbConnectionString(provider, serverText, encryption);
  } else {
    const auto index = servers_.Find(name);
    LoginPrompt prompt{"Log into " + serverText, "Log into SQL Server " + serverText,
                       index ? servers_[*index].login.Text() : std::string()};
    std::optional<LoginAnswer> answer = host_.ShowLoginDialog(prompt);
    if (!answer) return ConnectOutcome::kCancelled;
    JvLoginDialog1GetPassword(answer->userName, answer->password);
    data::SecureWipe(answer->password);
    oleDb = OleDbConnectionString(provider, serverText, lastLoginName_, lastPassword_, encryption);
  }

  std::string odbc;
  try {
    odbc = OdbcConnectionString(
        oleDb, installedDrivers_ ? installedDrivers_() : std::vector<std::string>{}, kThisPlatform,
        freetds_);
  } catch (const std::exception& error) {  // also the driver lookup's own failure
    data::SecureWipe(oleDb);
    Fail(error.what());
    return ConnectOutcome::kFailed;
  }
  data::SecureWipe(oleDb);
  SQLServer_.SetConnectionString(std::move(odbc));

  host_.SetWaitCursor();
  Call(report_.resetReportExceptionCount);
  pendingName_ = name;
  pendingWindowsAuthentication_ = windowsAuthentication;
  pendingServerText_ = serverText;
  pendingEncryption_ = encryption;
  pendingTimeout_ = *timeout;
  return std::nullopt;
}

void Connector::Open() {
  bool connected = false;
  try {
    SQLServer_.Open([&] {
      connected = true;
      Call(report_.gatherInformation);
    });
  } catch (const data::DatabaseError& error) {
    if (connected) throw;
    const auto why = ExplainRefusedConnection(
        error,
        {pendingServerText_, pendingWindowsAuthentication_, pendingTimeout_, pendingEncryption_},
        kSettingsTabAdvice);
    if (!why) throw;
    throw data::DatabaseError(std::string(error.what()) + "\n\n" + *why, error.number(),
                              error.state());
  }
}

ConnectOutcome Connector::Finish(std::exception_ptr failure) {
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      Fail(WithoutPassword(error.what()));
    } catch (...) {
      Fail("The connection failed for an unknown reason.");
    }
    return ConnectOutcome::kFailed;
  }
  servers_.Remember(pendingName_, pendingWindowsAuthentication_ ? std::string() : lastLoginName_);
  return ConnectOutcome::kConnected;
}

void Connector::Fail(std::string message) {
  host_.RestoreDefaultCursor();
  // A run that failed half-way leaves its connection open.
  if (SQLServer_.Connected()) {
    Call(report_.closeQuery);
    SQLServer_.Close();
  }
  host_.RestoreIdleControls();
  host_.ShowError(message);
}

std::string Connector::WithoutPassword(std::string message) const {
  if (lastPassword_.size() < kMinScrubbedPassword) return message;
  for (std::size_t at = message.find(lastPassword_); at != std::string::npos;
       at = message.find(lastPassword_, at + 8)) {
    message.replace(at, lastPassword_.size(), "********");
  }
  return message;
}

}  // namespace quorvane::connection
