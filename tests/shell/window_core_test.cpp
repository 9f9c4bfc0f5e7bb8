// The window core over a recording view and a scripted server: start-up, the run on its worker
// thread with its messages in order on the UI thread, saving, closing during a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <sstream>
#include <thread>

#include "../connection/temp_folder.h"
#include "data/database_error.h"
#include "shell/window_core.h"
#include "support/scripted_connection.h"

namespace quorvane::shell {
namespace {

using quorvane::testing::Scalar;
using quorvane::testing::ScriptedConnection;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The UI thread's queue; the test's own thread is the UI thread.
class QueuePoster : public UiPoster {
 public:
  void Post(std::function<void()> task) override { queue_.Push(std::move(task)); }
  // Runs what arrives until `done` holds, for at most `timeout`.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      queue_.RunPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

 private:
  TaskQueue queue_;
};

// Records what the core asks of the window, and checks that it asks on the UI thread only.
class RecordingView : public WindowView {
 public:
  void ApplyEnabling(const ReportTabEnabling& e) override {
    Check();
    if (e == enabling) return;
    enabling = e;
    events.push_back(e.close ? (e.saveOutput ? "enabling:finished" : "enabling:idle")
                             : "enabling:running");
  }
  std::string ServerText() const override { return serverText; }
  void SetServerText(const std::string& text) override { serverText = text; }
  void SetServerEntries(const std::vector<std::string>& names) override { entries = names; }
  bool WindowsAuthentication() const override { return windowsAuthentication; }
  void SetWindowsAuthentication(bool ticked, bool) override { windowsAuthentication = ticked; }
  void ShowDebugButton(bool visible) override { debugButton = visible; }
  void ShowEmptyPage() override { events.push_back("view:empty"); }
  void Navigate(const std::string& url) override {
    Check();
    events.push_back("navigate:" + url.substr(0, 7));
  }
  void AppendDebugText(const std::vector<std::string>& added, bool cleared) override {
    Check();
    if (cleared) debugText.clear();
    debugText.insert(debugText.end(), added.begin(), added.end());
  }
  SettingsValues SettingsTabValues() const override { return values; }
  void ShowSettingsTabValues(const SettingsValues& shown) override { values = shown; }
  void SetSaveSettingsEnabled(bool enabled) override { saveSettings = enabled; }
  void SetStatusText(const std::string& text) override {
    Check();
    status = text;
    events.push_back("status:" + text.substr(0, 20));
  }
  void SetProgress(ProgressChange change) override {
    Check();
    events.push_back(change == ProgressChange::kStart ? "progress:start" : "progress:stop");
  }
  void SetWaitCursor(bool on) override { events.push_back(on ? "cursor:wait" : "cursor:default"); }
  void ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) override {
    Check();
    messages.push_back({kind, caption, text});
  }
  bool AskYesNo(const std::string&, const std::string&) override { return yes; }
  std::optional<connection::LoginAnswer> AskLogin(const LoginRequest& request) override {
    login = request;
    return loginAnswer;
  }
  std::optional<std::string> ChooseSaveFile(const std::string& folder,
                                            const std::string& name) override {
    saveFolder = folder;
    proposedName = name;
    return chosenFile;
  }
  void ProcessEvents() override {}
  WindowGeometry Geometry() const override { return {false, {40, 30, 600, 800}}; }
  void RunFinished(connection::ConnectOutcome o) override {
    Check();
    outcome = o;
    events.push_back("finished");
  }

  struct Message {
    MessageKind kind;
    std::string caption;
    std::string text;
  };

  std::thread::id uiThread = std::this_thread::get_id();
  bool offThread = false;
  ReportTabEnabling enabling;
  std::vector<std::string> events, entries, debugText;
  std::string serverText, status, saveFolder, proposedName;
  bool windowsAuthentication = true, debugButton = false, saveSettings = false, yes = false;
  SettingsValues values;
  std::optional<LoginRequest> login;
  std::optional<connection::LoginAnswer> loginAnswer;
  std::optional<std::string> chosenFile;
  std::vector<Message> messages;
  std::optional<connection::ConnectOutcome> outcome;

 private:
  void Check() { offThread |= std::this_thread::get_id() != uiThread; }
};

// A server whose statements can be held until the client cancels them.
class HoldingConnection : public ScriptedConnection {
 public:
  HoldingConnection() {
    SetDefault({Scalar("v")});
    OnExecute([this](const std::string& batch) {
      std::unique_lock lock(mutex_);
      if (batch != held_ || cancelled_) return;
      holding_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return cancelled_; });
      throw data::DatabaseError(data::kCancelledMessage);
    });
  }
  void Hold(std::string batch) { held_ = std::move(batch); }
  bool Holding() {
    const std::lock_guard lock(mutex_);
    return holding_;
  }
  void Cancel() override {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string held_;
  bool holding_ = false;
  bool cancelled_ = false;
};

class WindowCoreTest : public ::testing::Test {
 protected:
  WindowCoreTest() {
    options.settings.applicationFolder = folder.path();
    options.settings.file = folder.path() / "SQLServerQuorvane.ini";
    options.temporaryReportFile = folder.path() / "~SQLServerQuorvane.htm";
    options.installedDrivers = [] { return std::vector<std::string>{"FreeTDS"}; };
  }

  WindowCore& Core() {
    if (!core) core = std::make_unique<WindowCore>(view, poster, SQLServer, options);
    return *core;
  }

  StartPlacement Show() {
    return Core().FirstShow({186, 221, 537, 752}, [](std::optional<std::pair<int, int>>) {
      return std::optional<ScreenArea>(ScreenArea{0, 0, 1280, 1024});
    });
  }

  std::size_t Index(const std::string& event) const {
    const auto at = std::find(view.events.begin(), view.events.end(), event);
    EXPECT_NE(at, view.events.end()) << event;
    return static_cast<std::size_t>(at - view.events.begin());
  }

  connection::testing::TempFolder folder;
  WindowCoreOptions options;
  RecordingView view;
  QueuePoster poster;
  HoldingConnection SQLServer;
  std::unique_ptr<WindowCore> core;
};

TEST_F(WindowCoreTest, StartUpMigratesReadsAndPlaces) {
  WriteText(folder.path() / "SQLServerQuorva.ini",
            "[SQLServerQuorva]\r\nCurServer=srv1\r\nServers=SRV2\xC3\xBF,SRV1\xC3\xBF"
            "sa\r\nFormTop=-50\r\nFormLeft=-10\r\nFormHeight=100000\r\nFormWidth=800\r\n"
            "JobHistory=5000\r\nConnectionTimeout= 30\r\n");
  options.debugMode = true;
  const StartPlacement placed = Show();
  EXPECT_TRUE(std::filesystem::exists(options.settings.file));
  EXPECT_TRUE(view.debugButton);
  EXPECT_EQ(view.entries, (std::vector<std::string>{"SRV1", "SRV2"}));
  EXPECT_EQ(view.serverText, "SRV1");
  EXPECT_FALSE(view.windowsAuthentication);  // SRV1 has a login
  EXPECT_TRUE(view.enabling.connect);
  EXPECT_EQ(view.values.jobHistory, "1000");
  EXPECT_EQ(view.values.timeoutText, "30");
  EXPECT_FALSE(view.saveSettings);
  EXPECT_FALSE(placed.maximized);
  EXPECT_EQ(placed.area, (ScreenArea{0, 0, 800, 1024}));

  // Editing, clamping at the save and the defaults button.
  view.values.jobHistoryLimit = "0";
  Core().SettingsEdited();
  EXPECT_TRUE(view.saveSettings);
  Core().SaveSettings();
  EXPECT_EQ(view.values.jobHistoryLimit, "1");
  EXPECT_FALSE(view.saveSettings);
  const std::string ini = ReadText(options.settings.file);
  EXPECT_NE(ini.find("JobHistoryLimit=1\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("ConnectionTimeout= 30"), std::string::npos) << ini;
  Core().DefaultSettings();
  EXPECT_EQ(view.values.timeoutText, "15");
  EXPECT_TRUE(view.saveSettings);

  // Removing all servers asks first.
  Core().RemoveAllServers();
  EXPECT_EQ(view.entries.size(), 2u);
  view.yes = true;
  Core().RemoveAllServers();
  EXPECT_TRUE(view.entries.empty() && view.serverText.empty());
  EXPECT_FALSE(view.enabling.connect);
}

TEST_F(WindowCoreTest, DemoModePointsAtTheSimulatedInstance) {
  options.demo = DemoInstance{"127.0.0.1,4711", "sa", "secret"};
  Show();
  EXPECT_EQ(view.serverText, "127.0.0.1,4711");
  EXPECT_FALSE(view.windowsAuthentication);
  EXPECT_TRUE(view.enabling.connect);
  EXPECT_EQ(view.status, "Demo: press Connect to report on the simulated SQL Server.");
}

// The whole run on its worker thread: every message reaches the view on the UI thread, in the
// order the run sent it; the server is remembered and the report can be saved.
TEST_F(WindowCoreTest, RunOnAWorkerThreadReportsInOrder) {
  Show();
  view.serverText = "srv1";
  view.windowsAuthentication = false;
  Core().ServerTextEdited("srv1");
  view.loginAnswer = connection::LoginAnswer{"sa", "secret"};
  view.events.clear();
  Core().Connect();
  ASSERT_TRUE(view.login);
  EXPECT_EQ(view.login->caption, "Log into srv1");
  EXPECT_FALSE(view.login->focusPassword);
  EXPECT_TRUE(Core().RunActive());
  EXPECT_EQ(view.enabling.connect, false);  // disabled before the login is even tried
  ASSERT_TRUE(poster.PumpUntil([&] { return view.outcome.has_value(); }));
  EXPECT_FALSE(view.offThread);
  EXPECT_EQ(*view.outcome, connection::ConnectOutcome::kConnected);
  EXPECT_FALSE(Core().RunActive());

  EXPECT_LT(Index("enabling:running"), Index("progress:start"));
  EXPECT_LT(Index("progress:start"), Index("status:Collecting informati"));
  EXPECT_LT(Index("status:Collecting informati"), Index("navigate:file://"));
  EXPECT_LT(Index("navigate:file://"), Index("progress:stop"));
  EXPECT_LT(Index("progress:stop"), Index("enabling:finished"));
  EXPECT_LT(Index("enabling:finished"), Index("finished"));
  EXPECT_TRUE(view.enabling.reportMenu && view.enabling.printPreviewVisible);
  EXPECT_FALSE(view.debugText.empty());
  EXPECT_EQ(view.debugText.size(), Core().Run().HTMLContainer().Entries().size());
  ASSERT_EQ(Core().Servers().size(), 1u);
  EXPECT_EQ(Core().Servers()[0].login.Text(), "sa");
  EXPECT_EQ(view.entries, (std::vector<std::string>{"SRV1"}));

  // The next login for the server is pre-filled, with the focus in the password.
  view.login.reset();
  view.outcome.reset();
  view.loginAnswer.reset();
  Core().Connect();
  ASSERT_TRUE(view.login);
  EXPECT_EQ(view.login->userName, "sa");
  EXPECT_TRUE(view.login->focusPassword);
  EXPECT_EQ(view.outcome, connection::ConnectOutcome::kCancelled);

  // Save Output: the default report folder first, the name from the server and start time.
  const std::filesystem::path reports = folder.path() / "reports";
  std::filesystem::create_directories(reports);
  view.values.reportPath = reports.string();
  view.chosenFile = (reports / "saved.htm").string();
  view.messages.clear();
  Core().SaveOutput();
  EXPECT_EQ(view.saveFolder, reports.string());
  EXPECT_EQ(view.proposedName.rfind("srv1_", 0), 0u) << view.proposedName;
  EXPECT_EQ(ReadText(reports / "saved.htm"), Core().Run().HTMLContainer().Text());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].caption, "Information");
  EXPECT_EQ(view.messages[0].text, "Report saved to " + (reports / "saved.htm").string());
  const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
  EXPECT_EQ(Core().CurrentSettingsState().lastReportPath, reports.string() + separator);

  Core().Close();
  EXPECT_FALSE(std::filesystem::exists(options.temporaryReportFile));
  EXPECT_NE(ReadText(options.settings.file).find("LastReportPath=" + reports.string() + separator),
            std::string::npos);
}

// Closing while a statement runs cancels it and waits for the run, within the bound.
TEST_F(WindowCoreTest, ClosingDuringARunCancelsTheStatement) {
  SQLServer.Hold("Select SERVERPROPERTY('ProductVersion')");
  Show();
  view.serverText = "SRV1";
  Core().Connect();  // Windows authentication: no login dialog
  ASSERT_TRUE(poster.PumpUntil([&] { return SQLServer.Holding(); }));
  const auto start = std::chrono::steady_clock::now();
  const CloseResult closed = Core().Close();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(closed.runAbandoned);
  EXPECT_LT(took, std::chrono::milliseconds(options.stopTimeoutMs));
  EXPECT_FALSE(Core().RunActive());
  EXPECT_FALSE(SQLServer.Connected());
  EXPECT_FALSE(std::filesystem::exists(options.temporaryReportFile));
  EXPECT_NE(ReadText(options.settings.file).find("CurServer=SRV1"), std::string::npos);
  // What the run still sent is drained, but a closing window reports no outcome.
  poster.PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_FALSE(view.outcome);
  EXPECT_FALSE(view.offThread);
}

}  // namespace
}  // namespace quorvane::shell
