// The core's decisions that need no window: enabling, hints, settings values, placement, the
// login pre-fill, the save name and folder, the switches.
#include <gtest/gtest.h>

#include <filesystem>

#include "shell/command_line.h"
#include "shell/enabling.h"
#include "shell/hints.h"
#include "shell/login_prefill.h"
#include "shell/placement.h"
#include "shell/save_name.h"
#include "shell/settings_values.h"
#include "shell/window_layout.h"

namespace quorvane::shell {
namespace {

TEST(Enabling, IdleRunningFinishedAndFirstReport) {
  ReportTabState state;
  const ReportTabEnabling idle = state.Current();
  EXPECT_FALSE(idle.connect);
  EXPECT_FALSE(idle.saveOutput);
  EXPECT_FALSE(idle.printPreviewVisible);
  EXPECT_FALSE(idle.reportMenu);
  EXPECT_TRUE(idle.serverBox && idle.windowsAuthentication && idle.close);

  state.ServerTextChanged(" \t ");
  EXPECT_FALSE(state.Current().connect);
  state.ServerTextChanged("SRV1");
  EXPECT_TRUE(state.Current().connect);

  state.RunControls(false);
  state.Progress(true);
  const ReportTabEnabling running = state.Current();
  EXPECT_FALSE(running.serverBox || running.windowsAuthentication || running.connect ||
               running.saveOutput || running.close || running.printPreviewVisible);
  EXPECT_TRUE(running.progressBar);

  state.Progress(false);
  state.RunControls(true);
  state.ReportShown();
  const ReportTabEnabling finished = state.Current();
  EXPECT_TRUE(finished.saveOutput && finished.printPreviewVisible && finished.reportMenu);
  EXPECT_FALSE(finished.progressBar);

  // A new text makes the shown report unsaveable, not the menu over it unavailable.
  state.ServerTextChanged("SRV2");
  EXPECT_FALSE(state.Current().saveOutput);
  EXPECT_TRUE(state.Current().reportMenu);

  // A failed connection: Connect again, Save Output stays as it was.
  ReportTabState failed;
  failed.RunControls(false);
  failed.Progress(true);
  failed.RestoreIdle();
  EXPECT_TRUE(failed.Current().connect && failed.Current().close && failed.Current().serverBox);
  EXPECT_FALSE(failed.Current().saveOutput || failed.Current().progressBar);
}

TEST(Hints, LongPartGoesToTheStatusBar) {
  EXPECT_EQ(LongHint("Change path|Change the path."), "Change the path.");
  EXPECT_EQ(ShortHint("Change path|Change the path."), "Change path");
  EXPECT_EQ(LongHint("Connect to SQL Server."), "Connect to SQL Server.");
  EXPECT_EQ(ShortHint("Connect to SQL Server."), "Connect to SQL Server.");
  EXPECT_EQ(LongHint("a|b|c"), "b|c");
}

TEST(SettingsValues, ClampingTimeoutAndDefaults) {
  EXPECT_EQ(JobHistoryValue(""), 1);
  EXPECT_EQ(JobHistoryValue("0"), 1);
  EXPECT_EQ(JobHistoryValue("999999999"), 1000);
  EXPECT_EQ(JobHistoryValue("250"), 250);
  EXPECT_EQ(ClampedJobHistoryText("5000"), "1000");

  EXPECT_EQ(StoredTimeoutText("15"), " 15");
  EXPECT_EQ(StoredTimeoutText(""), "   ");
  EXPECT_EQ(StoredTimeoutText("120"), "120");
  EXPECT_EQ(ShownTimeoutText(" 15"), "15");

  connection::Settings stored;
  stored.connectionTimeout = "  7";
  stored.jobHistory = 5000;  // a hand-edited file
  stored.reportPath = "/reports";
  stored.encrypt = connection::EncryptMode::kStrict;
  stored.trustServerCertificate = true;
  SettingsValues shown = ValuesFromSettings(stored);
  EXPECT_EQ(shown.timeoutText, "7");
  EXPECT_EQ(shown.jobHistory, "1000");
  // Strict always checks the certificate: a stored trust does not reach the connection.
  EXPECT_FALSE(EncryptionFrom(shown).trustServerCertificate);
  shown.encrypt = connection::EncryptMode::kMandatory;
  EXPECT_TRUE(EncryptionFrom(shown).trustServerCertificate);

  shown.jobHistoryLimit = "0";
  connection::Settings back = stored;
  ApplyValues(shown, back);
  EXPECT_EQ(back.connectionTimeout, "  7");
  EXPECT_EQ(back.jobHistory, 1000);
  EXPECT_EQ(back.jobHistoryLimit, 1);
  EXPECT_EQ(RunSettingsFrom(shown).jobHistoryLimit, 1);

  shown.allowCmdShell = false;
  shown.provider = "MSOLEDBSQL";
  const SettingsValues defaults = DefaultValues(shown);
  EXPECT_EQ(defaults.reportPath, "/reports");  // the folder stays
  EXPECT_EQ(defaults.timeoutText, "15");
  EXPECT_EQ(defaults.provider, "SQLOLEDB.1");
  EXPECT_EQ(defaults.jobHistory, "100");
  EXPECT_EQ(defaults.jobHistoryLimit, "20");
  EXPECT_TRUE(defaults.allowCmdShell);
  EXPECT_EQ(defaults.encrypt, connection::EncryptMode::kOptional);
  EXPECT_FALSE(defaults.trustServerCertificate);
}

TEST(Placement, ClampedOntoTheScreenHoldingItsCentre) {
  const ScreenArea screen{0, 0, 1280, 1024};
  EXPECT_EQ(PlaceOnScreen({-50, -10, 600, 800}, screen), (ScreenArea{0, 0, 800, 600}));
  EXPECT_EQ(PlaceOnScreen({900, 2000, 600, 800}, screen), (ScreenArea{480, 424, 800, 600}));
  EXPECT_EQ(PlaceOnScreen({10, 10, 5000, 5000}, screen), (ScreenArea{0, 0, 1280, 1024}));

  const ScreenArea right{1280, 0, 1920, 1080};
  std::vector<std::optional<std::pair<int, int>>> asked;
  const ScreenFinder screens = [&](std::optional<std::pair<int, int>> point) {
    asked.push_back(point);
    if (!point) return std::optional<ScreenArea>(screen);  // the primary
    if (point->first >= 1280 && point->first < 3200) return std::optional<ScreenArea>(right);
    return std::optional<ScreenArea>();
  };
  // top, left, height, width
  StartPlacement placed = ChooseStartPlacement(false, {100, 1500, 300, 400}, screens, 752, 537);
  EXPECT_FALSE(placed.maximized);
  EXPECT_EQ(placed.area, (ScreenArea{1500, 100, 752, 537}));  // never below the design size
  // Off every screen: onto the primary one.
  placed = ChooseStartPlacement(false, {100, 9000, 600, 800}, screens, 752, 537);
  EXPECT_EQ(placed.area, (ScreenArea{480, 100, 800, 600}));
  EXPECT_EQ(asked.back(), std::nullopt);
  EXPECT_TRUE(ChooseStartPlacement(true, {}, screens, 752, 537).maximized);
}

TEST(WindowLayout, AnchorsMoveOrStretchWithTheContainer) {
  // 100 wider and 50 taller than designed.
  const auto at = [](const DesignRect& r, unsigned anchors) {
    return AnchoredRect(r, anchors, kTabDesignWidth, kTabDesignHeight, kTabDesignWidth + 100,
                        kTabDesignHeight + 50);
  };
  EXPECT_EQ(at(report_tab::kServerBox.place, report_tab::kServerBox.anchors),
            (DesignRect{16, 6, 185, 22}));
  EXPECT_EQ(at(report_tab::kClose.place, report_tab::kClose.anchors),
            (DesignRect{747, 3, 75, 25}));
  EXPECT_EQ(at(report_tab::kReportView.place, report_tab::kReportView.anchors),
            (DesignRect{0, 48, 829, 466}));
  // Smaller than designed: a stretched control shrinks to nothing, never below.
  EXPECT_EQ(AnchoredRect({0, 48, 729, 416}, kAnchorAll, 729, 464, 100, 10),
            (DesignRect{0, 48, 100, 0}));
  EXPECT_EQ(settings_tab::LabelPlace(settings_tab::kTimeout.place), (DesignRect{8, 96, 345, 16}));
}

TEST(LoginPrefill, RememberedLoginAndTheDemoInstance) {
  const connection::LoginPrompt remembered{"Log into SRV", "Log into SQL Server SRV", "audit"};
  LoginRequest request = PrefillLogin(remembered, "SRV", std::nullopt);
  EXPECT_EQ(request.caption, "Log into SRV");
  EXPECT_EQ(request.userName, "audit");
  EXPECT_TRUE(request.password.empty());
  EXPECT_TRUE(request.focusPassword);

  const connection::LoginPrompt fresh{"Log into SRV", "Log into SQL Server SRV", ""};
  EXPECT_FALSE(PrefillLogin(fresh, "SRV", std::nullopt).focusPassword);

  const DemoInstance demo{"127.0.0.1,5000", "sa", "secret"};
  request = PrefillLogin(fresh, " 127.0.0.1,5000 ", demo);
  EXPECT_EQ(request.userName, "sa");
  EXPECT_EQ(request.password, "secret");
  EXPECT_TRUE(request.focusPassword);
  // Another login remembered for the demo: its name, but not the demo's password.
  request = PrefillLogin({"c", "t", "audit"}, "127.0.0.1,5000", demo);
  EXPECT_EQ(request.userName, "audit");
  EXPECT_TRUE(request.password.empty());
  EXPECT_TRUE(PrefillLogin(fresh, "OTHER", demo).userName.empty());
}

TEST(SaveName, FolderPrecedenceAndProposedName) {
  const auto existing = [](const std::string& folder) { return folder != "/gone"; };
  EXPECT_EQ(InitialSaveFolder("/app", "/last", "/default", existing), "/default");
  EXPECT_EQ(InitialSaveFolder("/app", "/last", "/gone", existing), "/last");
  EXPECT_EQ(InitialSaveFolder("/app", "", "", existing), "/app");
  EXPECT_EQ(InitialSaveFolder("/gone", "", "", existing), "");

  EXPECT_EQ(ProposedSaveName("HOST\\INST", {2026, 1, 2, 3, 4, 5, 0}),
            "HOST-INST_2026-01-02_03.04.05.htm");
#ifndef _WIN32
  EXPECT_EQ(FolderWithSeparator("/tmp/x/../report.htm"), "/tmp/");
  EXPECT_EQ(FolderWithSeparator("/report.htm"), "/");
#endif
}

TEST(Switches, DebugAndDemo) {
  for (const char* on : {"-d", "/d", "-D", "/D"}) {
    EXPECT_TRUE(DebugSwitch({"quorvane", "--demo", on})) << on;
  }
  for (const char* off : {"-dx", "d", "--debug", "/e"}) EXPECT_FALSE(DebugSwitch({"q", off}));
  EXPECT_FALSE(DebugSwitch({"-d"}));  // the program's own name does not count
  EXPECT_FALSE(DebugSwitch({}));
  EXPECT_TRUE(DemoSwitch({"quorvane", "--demo"}));
  EXPECT_FALSE(DemoSwitch({"quorvane", "-d"}));
}

}  // namespace
}  // namespace quorvane::shell
