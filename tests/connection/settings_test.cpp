#include <gtest/gtest.h>

#include <map>

#include "connection/ini_file.h"
#include "connection/settings.h"
#include "temp_folder.h"

namespace quorvane::connection {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

const std::string kY = "\xC3\xBF";
const WindowPlacement kDesign{186, 221, 600, 768};

Settings Unusual() {
  Settings s;
  s.servers.Add("SRV1", "sa");
  s.servers.Add("SRV2", "");
  s.curServer = "SRV1";
  s.allowOACreate = false;
  s.allowCmdShell = false;
  s.ignoreReplicationSection = true;
  s.isMaximized = false;
  s.placement = {10, 20, 700, 900};
  s.lastReportPath = "/home/dba/reports/last";
  s.reportPath = "/srv/reports";
  s.connectionTimeout = " 30";
  s.connectionProvider = "FreeTDS";
  s.jobHistory = 250;
  s.jobHistoryLimit = 5;
  s.encrypt = EncryptMode::kMandatory;
  s.trustServerCertificate = true;
  s.findings = true;
  return s;
}

// The keys of the section, as the file holds them.
std::map<std::string, std::string> Keys(const std::filesystem::path& path) {
  std::map<std::string, std::string> keys;
  const IniFileContent content = ReadIniFile(path);
  for (const std::string& line : content.document.Lines()) {
    if (const auto equals = line.find('='); equals != std::string::npos) {
      keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return keys;
}

TEST(LoadSettings, GivesTheDefaultsWithoutAFile) {
  TempFolder folder;
  const LoadedSettings loaded = SettingsFile(folder / "none.ini").LoadSettings(kDesign);
  Settings expected;
  expected.placement = kDesign;
  EXPECT_EQ(loaded.settings, expected);
  EXPECT_EQ(loaded.settings.connectionTimeout, "15");
  EXPECT_EQ(loaded.settings.connectionProvider, "SQLOLEDB.1");
  EXPECT_EQ(loaded.settings.jobHistory, 100);
  EXPECT_EQ(loaded.settings.jobHistoryLimit, 20);
  EXPECT_TRUE(loaded.windowsAuthentication);
}

TEST(SaveSettings, RoundTripsEveryKey) {
  TempFolder folder;
  const SettingsFile file(folder / "s.ini");
  Settings saved = Unusual();
  file.SaveSettings(saved);
  const auto keys = Keys(file.Path());
  EXPECT_EQ(keys.size(), 19u);
  EXPECT_EQ(keys.at("Findings"), "1");
  EXPECT_EQ(keys.at("Encrypt"), "Mandatory");
  EXPECT_EQ(keys.at("TrustServerCertificate"), "1");

  const LoadedSettings loaded = file.LoadSettings(kDesign);
  saved.connectionTimeout = "30";  // values are read back trimmed
  EXPECT_EQ(loaded.settings, saved);
  EXPECT_FALSE(loaded.windowsAuthentication);  // SRV1 is remembered with 'sa'
}

// A file written before encryption could be chosen connects as it always did.
TEST(LoadSettings, ReadsTheEncryptionKeysAndDefaultsAnOldFileToOptional) {
  TempFolder folder;
  const auto path = folder / "s.ini";
  WriteBytes(path, "[SQLServerQuorvane]\nConnectionProvider=SQLOLEDB.1\nJobHistory=50\n");
  Settings s = SettingsFile(path).LoadSettings(kDesign).settings;
  EXPECT_EQ(s.encrypt, EncryptMode::kOptional);
  EXPECT_FALSE(s.trustServerCertificate);
  EXPECT_EQ(s.jobHistory, 50);

  WriteBytes(path, "[SQLServerQuorvane]\nEncrypt=strict\nTrustServerCertificate=1\n");
  s = SettingsFile(path).LoadSettings(kDesign).settings;
  EXPECT_EQ(s.encrypt, EncryptMode::kStrict);
  EXPECT_TRUE(s.trustServerCertificate);

  WriteBytes(path, "[SQLServerQuorvane]\nEncrypt=sometimes\n");
  EXPECT_EQ(SettingsFile(path).LoadSettings(kDesign).settings.encrypt, EncryptMode::kOptional);
}

TEST(LoadSettings, ClampsTheJobHistoryLimits) {
  TempFolder folder;
  WriteBytes(folder / "s.ini", "[SQLServerQuorvane]\nJobHistory=5000\nJobHistoryLimit=0\n");
  const Settings s = SettingsFile(folder / "s.ini").LoadSettings(kDesign).settings;
  EXPECT_EQ(s.jobHistory, 1000);
  EXPECT_EQ(s.jobHistoryLimit, 1);
}

TEST(LoadSettings, RestoresTheCurrentServerOnlyWhenListed) {
  TempFolder folder;
  const auto path = folder / "s.ini";
  WriteBytes(path, "[SQLServerQuorvane]\nCurServer=GONE\nServers=SRV1" + kY + "sa\n");
  LoadedSettings loaded = SettingsFile(path).LoadSettings(kDesign);
  EXPECT_EQ(loaded.settings.curServer, "");
  EXPECT_TRUE(loaded.windowsAuthentication);

  WriteBytes(path, "[SQLServerQuorvane]\nCurServer=srv1\nServers=SRV1" + kY + "sa\n");
  loaded = SettingsFile(path).LoadSettings(kDesign);
  EXPECT_EQ(loaded.settings.curServer, "SRV1");
  EXPECT_FALSE(loaded.windowsAuthentication);
}

TEST(LoadSettings, TakesEmptyTextValuesAndDefaultsForEmptyNumbers) {
  TempFolder folder;
  WriteBytes(folder / "s.ini",
             "[SQLServerQuorvane]\nConnectionProvider=\nConnectionTimeout=\nAllowCmdShell=\n"
             "FormTop=x\n");
  const Settings s = SettingsFile(folder / "s.ini").LoadSettings(kDesign).settings;
  EXPECT_EQ(s.connectionProvider, "");
  EXPECT_EQ(s.connectionTimeout, "");
  EXPECT_TRUE(s.allowCmdShell);
  EXPECT_EQ(s.placement.top, kDesign.top);
}

TEST(SaveCurrentState, IsInertUntilTheFirstShowAndWritesOnlyItsKeys) {
  TempFolder folder;
  SettingsFile file(folder / "s.ini");
  Settings s = Unusual();
  EXPECT_FALSE(file.SaveCurrentState(s));
  EXPECT_FALSE(std::filesystem::exists(file.Path()));

  file.SetFirstShowCompleted();
  EXPECT_TRUE(file.SaveCurrentState(s));
  const auto keys = Keys(file.Path());
  EXPECT_EQ(keys.size(), 8u);
  for (const char* key : {"CurServer", "Servers", "isMaximized", "FormTop", "FormLeft",
                          "FormHeight", "FormWidth", "LastReportPath"}) {
    EXPECT_TRUE(keys.count(key)) << key;
  }
  EXPECT_EQ(keys.at("Servers"), "SRV1" + kY + "sa,SRV2" + kY);
}

TEST(SaveCurrentState, KeepsThePlacementOfTheNormalWindowWhileMaximized) {
  TempFolder folder;
  SettingsFile file(folder / "s.ini");
  file.SetFirstShowCompleted();
  Settings s = Unusual();
  file.SaveSettings(s);
  s.isMaximized = true;
  s.placement = {0, 0, 1080, 1920};
  file.SaveCurrentState(s);
  const auto keys = Keys(file.Path());
  EXPECT_EQ(keys.at("isMaximized"), "1");
  EXPECT_EQ(keys.at("FormTop"), "10");
  EXPECT_EQ(keys.at("FormWidth"), "900");

  s.placement = {1, 2, 3, 4};
  file.SaveSettings(s);
  EXPECT_EQ(Keys(file.Path()).at("FormHeight"), "700");
}

TEST(DefaultSettings, ResetsOnlyTheSettingsTab) {
  Settings s = Unusual();
  DefaultSettingsBitBtnClick(s);
  Settings expected;
  expected.servers = s.servers;
  expected.curServer = s.curServer;
  expected.placement = s.placement;
  expected.lastReportPath = s.lastReportPath;
  expected.reportPath = s.reportPath;
  EXPECT_EQ(s, expected);
}

TEST(SettingsFile, ReadsAWindows1252FileAndSavesItAsUtf8) {
  TempFolder folder;
  const auto path = folder / "s.ini";
  WriteBytes(path,
             "[SQLServerQuorvane]\r\nCurServer=SRV1\r\nServers=SRV2\xFF,SRV1\xFFsa\r\n"
             "ReportPath=C:\\Berichte\\M\xFCller\r\n");
  SettingsFile file(path);
  LoadedSettings loaded = file.LoadSettings(kDesign);
  ASSERT_EQ(loaded.settings.servers.size(), 2u);
  EXPECT_EQ(loaded.settings.servers[0], (ServerEntry{"SRV1", TString("sa")}));
  EXPECT_EQ(loaded.settings.reportPath, "C:\\Berichte\\M\xC3\xBCller");
  EXPECT_FALSE(loaded.windowsAuthentication);

  file.SetFirstShowCompleted();
  file.SaveCurrentState(loaded.settings);
  const std::string bytes = ReadBytes(path);
  EXPECT_TRUE(IsValidUtf8(bytes));
  EXPECT_NE(bytes.find("ReportPath=C:\\Berichte\\M\xC3\xBCller\r\n"), std::string::npos);
  EXPECT_EQ(file.LoadSettings(kDesign).settings, loaded.settings);
}

TEST(SettingsFile, KeepsTwoHundredServers) {
  TempFolder folder;
  const SettingsFile file(folder / "s.ini");
  Settings s;
  for (int i = 0; i < 200; ++i) {
    s.servers.Add("SQLSERVER-PRODUCTION-" + std::to_string(1000 + i), i % 3 ? "" : "dba user");
  }
  ASSERT_GT(FormatServers(s.servers).size(), 2047u);
  file.SaveSettings(s);
  EXPECT_EQ(file.LoadSettings(kDesign).settings.servers, s.servers);
}

TEST(SettingsFile, FailsWithUnableToWrite) {
  TempFolder folder;
  WriteBytes(folder / "file", "x");
  const SettingsFile file(folder / "file" / "s.ini");
  try {
    file.SaveSettings(Settings());
    FAIL() << "expected an error";
  } catch (const SettingsWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + file.Path().string());
  }
}

TEST(RenameSettings, MigratesTheOldFileOnce) {
  TempFolder folder;
  const std::string old =
      "[SQLServerQuorva]\r\nCurServer=SRV1\r\nServers=SRV1\xFFsa\r\nJobHistory=50\r\n";
  WriteBytes(folder / "SQLServerQuorva.ini", old);
  const SettingsLocation location = ChooseSettingsLocation(folder.path(), true, SystemEnvironment);
  EXPECT_EQ(location.file, folder / "SQLServerQuorvane.ini");

  EXPECT_TRUE(RenameSettings(location));
  EXPECT_EQ(ReadBytes(location.file),
            "[SQLServerQuorvane]\r\nCurServer=SRV1\r\nServers=SRV1\xC3\xBFsa\r\nJobHistory=50\r\n");
  EXPECT_EQ(ReadBytes(folder / "SQLServerQuorva.ini"), old);
  EXPECT_EQ(SettingsFile(location.file).LoadSettings(kDesign).settings.jobHistory, 50);

  WriteBytes(location.file, "[SQLServerQuorvane]\n");
  EXPECT_FALSE(RenameSettings(location));
  EXPECT_EQ(ReadBytes(location.file), "[SQLServerQuorvane]\n");
}

TEST(RenameSettings, DoesNothingWithoutAnOldFile) {
  TempFolder folder;
  EXPECT_FALSE(RenameSettings(ChooseSettingsLocation(folder.path(), true, SystemEnvironment)));
  EXPECT_FALSE(std::filesystem::exists(folder / "SQLServerQuorvane.ini"));
}

TEST(SettingsLocation, FallsBackToThePerUserFolder) {
  const std::filesystem::path app = "/opt/quorvane";
  auto env = [](std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
      const auto it = values.find(name);
      if (it == values.end()) return std::nullopt;
      return it->second;
    };
  };
  EXPECT_EQ(ChooseSettingsLocation(app, true, env({{"HOME", "/home/a"}})).file,
            app / "SQLServerQuorvane.ini");
#ifdef _WIN32
  EXPECT_EQ(
      ChooseSettingsLocation(app, false, env({{"APPDATA", "C:\\Users\\J\xC3\xB6rg"}})),
      (SettingsLocation{app, L"C:\\Users\\J\u00f6rg\\Quorvane\\SQLServerQuorvane.ini", true}));
  EXPECT_EQ(ChooseSettingsLocation(app, false, env({{"HOME", "/h"}})).file,
            app / "SQLServerQuorvane.ini");
#else
  EXPECT_EQ(ChooseSettingsLocation(app, false, env({{"XDG_CONFIG_HOME", "/x"}, {"HOME", "/h"}})),
            (SettingsLocation{app, "/x/quorvane/SQLServerQuorvane.ini", true}));
  EXPECT_EQ(
      ChooseSettingsLocation(app, false, env({{"XDG_CONFIG_HOME", "rel"}, {"HOME", "/h"}})).file,
      "/h/.config/quorvane/SQLServerQuorvane.ini");
#endif
  EXPECT_EQ(ChooseSettingsLocation(app, false, env({})).file, app / "SQLServerQuorvane.ini");

  TempFolder folder;
  const auto home = env({{"HOME", "/h"}, {"APPDATA", "C:\\a"}});
  EXPECT_FALSE(LocateSettings(folder.path(), home).perUser);
  EXPECT_TRUE(LocateSettings(folder / "missing", home).perUser);
}

TEST(RenameSettings, CopiesTheApplicationFoldersFileToThePerUserFolderOnce) {
  TempFolder app;
  TempFolder home;
  const std::string shared = "[SQLServerQuorvane]\nCurServer=SRV9\n";
  WriteBytes(app / "SQLServerQuorvane.ini", shared);
  WriteBytes(app / "SQLServerQuorva.ini", "[SQLServerQuorva]\nCurServer=OLD\n");
  const SettingsLocation location =
      ChooseSettingsLocation(app.path(), false, [&](const char* name) {
        const bool perUser = std::string(name) == "HOME" || std::string(name) == "APPDATA";
        return perUser ? std::optional(home.path().string()) : std::nullopt;
      });
  ASSERT_TRUE(location.perUser);

  EXPECT_TRUE(RenameSettings(location));
  EXPECT_EQ(ReadBytes(location.file), shared);
  EXPECT_FALSE(RenameSettings(location));

  SettingsFile file(location.file);
  file.SetFirstShowCompleted();
  file.SaveCurrentState(Settings());
  EXPECT_EQ(ReadBytes(app / "SQLServerQuorvane.ini"), shared);
}

}  // namespace
}  // namespace quorvane::connection
