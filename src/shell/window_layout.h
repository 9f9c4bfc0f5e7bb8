// The main window's design: every control's name, place at the design size (pixels at 96 DPI),
// anchors, caption (with "&" before its access key) and hint, as both windows draw them. A
// front-end creates each control from its ControlDesign and, on every resize, places it at
// AnchoredRect (after scaling the design by its DPI, where it has one).
#pragma once

#include <string_view>

namespace quorvane::shell {

// Which edges of its container a control keeps its distance to when the container is resized.
enum Anchor : unsigned {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
  kAnchorTopLeft = kAnchorLeft | kAnchorTop,
  kAnchorTopRight = kAnchorRight | kAnchorTop,
  kAnchorAll = kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom,
};

struct DesignRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const DesignRect&) const = default;
};

// Where a control anchored to `anchors` stands when its container, drawn at `designWidth` by
// `designHeight`, is now `width` by `height`: anchored at both ends of an axis it stretches,
// at the far end only it moves.
DesignRect AnchoredRect(const DesignRect& design, unsigned anchors, int designWidth,
                        int designHeight, int width, int height);

struct ControlDesign {
  std::string_view name;  // the control's object name
  DesignRect place;
  unsigned anchors = kAnchorTopLeft;
  std::string_view caption;
  std::string_view hint;  // "short|long" or one text, see hints.h
};

inline constexpr std::string_view kMainWindowCaption = "SQL Server Quorvane";
// The tab pages' area at the design size; each page's controls are placed inside it.
inline constexpr int kTabDesignWidth = 729;
inline constexpr int kTabDesignHeight = 464;
inline constexpr std::string_view kTabCaptions[] = {"Quorva", "Settings", "Help"};

// The report tab, in the keyboard's tab order (Donate comes after the report view).
namespace report_tab {
inline constexpr ControlDesign kServerBox{
    "SQLServerComboBox", {16, 6, 185, 22}, kAnchorTopLeft, "", "Select or type a SQL Server name."};
inline constexpr ControlDesign kWindowsAuthentication{
    "WinAuthCheckBox",
    {16, 30, 198, 17},
    kAnchorTopLeft,
    "Use Windows Authentication",
    "Use Windows authentication. Otherwise prompt for a SQL Server login."};
inline constexpr ControlDesign kConnect{
    "ConnectBitBtn", {216, 3, 97, 25}, kAnchorTopLeft, "Connect", "Connect to SQL Server."};
inline constexpr ControlDesign kSaveOutput{"SaveOutputBitBtn",
                                           {325, 3, 97, 25},
                                           kAnchorTopLeft,
                                           "Save Output",
                                           "Save the report to a file."};
inline constexpr ControlDesign kPrintPreview{
    "PrintPreviewButton", {434, 4, 23, 24}, kAnchorTopLeft, "", "Print Preview"};
inline constexpr ControlDesign kDebug{
    "DebugSpeedButton", {455, 6, 23, 22}, kAnchorTopLeft, "D", "Toggle Debug Window"};
inline constexpr ControlDesign kAbout{
    "AboutBitBtn", {560, 3, 75, 25}, kAnchorTopRight, "About", "About the application."};
inline constexpr ControlDesign kClose{
    "CloseBitBtn", {647, 3, 75, 25}, kAnchorTopRight, "&Close", "Exit the application."};
inline constexpr ControlDesign kReportView{"WB", {0, 48, 729, 416}, kAnchorAll, "", ""};
inline constexpr ControlDesign kDonate{"DonateButton",
                                       {479, 3, 75, 25},
                                       kAnchorTopRight,
                                       "Donate",
                                       "Support this software by making a small donation."};
}  // namespace report_tab

// The Settings tab, in the keyboard's tab order; a field's label stands 16 pixels above it.
namespace settings_tab {
inline constexpr ControlDesign kSaveSettings{
    "SaveSettingsBitBtn", {8, 8, 105, 25}, kAnchorTopLeft, "Save Settings", "Save the settings."};
inline constexpr ControlDesign kDefaultSettings{"DefaultSettingsBitBtn",
                                                {128, 8, 105, 25},
                                                kAnchorTopLeft,
                                                "Default Settings",
                                                "Return settings to default values."};
inline constexpr ControlDesign kReportPath{"FileSavePathEdit",
                                           {8, 64, 345, 22},
                                           kAnchorTopLeft,
                                           "Default Report Output Path:",
                                           "Set a default path to use when saving reports."};
// The one control whose short hint is also its tooltip.
inline constexpr ControlDesign kReportPathButton{"FileSavePathSpeedButton",
                                                 {360, 64, 23, 22},
                                                 kAnchorTopLeft,
                                                 "",
                                                 "Change path|Change the path."};
inline constexpr ControlDesign kTimeout{"ConnectionTimeoutMaskEdit",
                                        {8, 112, 34, 22},
                                        kAnchorTopLeft,
                                        "Timeout (Seconds):",
                                        "Connection timeout in seconds. (Default 15)"};
inline constexpr ControlDesign kAllowCmdShell{
    "AllowCmdShellCheckBox",
    {8, 152, 353, 17},
    kAnchorTopLeft,
    "Allow queries using xp_cmdshell",
    "Allow queries using xp_cmdshell to gather server information."};
inline constexpr ControlDesign kAllowOACreate{
    "AllowOACreateCheckBox",
    {8, 176, 380, 17},
    kAnchorTopLeft,
    "Allow queries using OLE Automation (using sp_OACreate)",
    "Allow queries using OLE Automation using sp_OACreate to fetch server information."};
inline constexpr ControlDesign kJobHistory{
    "JobHistoryEdit",
    {8, 224, 49, 22},
    kAnchorTopLeft,
    "Job History Limit:",
    "Number of rows to display for Job History. (Default 100)"};
inline constexpr ControlDesign kJobHistoryLimit{"JobHistoryLimitEdit",
                                                {8, 272, 49, 22},
                                                kAnchorTopLeft,
                                                "Other Job History Limit:",
                                                "Number of rows to display for history of Job "
                                                "Failures and Long Running Jobs. (Default 20)"};
inline constexpr ControlDesign kProvider{"ProviderEdit",
                                         {8, 320, 121, 22},
                                         kAnchorTopLeft,
                                         "Provider:",
                                         "OLEDB provider name. (Default SQLOLEDB.1)"};
inline constexpr ControlDesign kIgnoreReplication{
    "IgnoreReplicationSectionCheckBox",
    {8, 360, 353, 17},
    kAnchorTopLeft,
    "Don't get Replication details.",
    "Ignore returning details for the Replication section."};
inline constexpr ControlDesign kFindings{
    "FindingsCheckBox",
    {376, 360, 345, 17},
    kAnchorTopLeft,
    "Findings section",
    "End the report with the risks found in what it gathered, each linking to its evidence."};
inline constexpr ControlDesign kEncryptionGroup{
    "EncryptionGroupBox", {8, 388, 353, 70}, kAnchorTopLeft, "Encryption", ""};
inline constexpr ControlDesign kEncrypt{
    "EncryptComboBox",
    {},
    kAnchorTopLeft,
    "Encrypt:",
    "Optional encrypts when the server can; Mandatory always, and checks the server's "
    "certificate; Strict uses TDS 8.0 (ODBC Driver 18). (Default Optional)"};
inline constexpr ControlDesign kTrustServerCertificate{
    "TrustServerCertificateCheckBox",
    {},
    kAnchorTopLeft,
    "Trust server certificate",
    "Accept the server's certificate without checking who issued it. (Mandatory only)"};
// Where a field's label stands.
inline constexpr DesignRect LabelPlace(const DesignRect& field) {
  return {field.x, field.y - 16, 345, 16};
}
}  // namespace settings_tab

}  // namespace quorvane::shell
