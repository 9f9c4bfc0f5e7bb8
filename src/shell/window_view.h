// What the core needs from a main window: the one interface each front-end (the Qt window, the
// Win32 window, a recorder in tests) implements. The core calls it on the UI thread only, also
// for what the report's worker thread says (through the UiPoster). A front-end draws what it is
// told and forwards every user action to WindowCore; it decides nothing itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "connection/connect.h"
#include "connection/settings.h"
#include "shell/enabling.h"
#include "shell/login_prefill.h"
#include "shell/settings_values.h"

namespace quorvane::shell {

enum class MessageKind { kInformation, kWarning, kError };

enum class ProgressChange {
  kStart,         // enable the bar and start the 300 ms timer (which calls report::Timer1Timer)
  kStopAndReset,  // stop the timer, put the bar back to 0 and disable it
  kHalt,          // stop the timer and disable the bar, leaving its position
};

// The window's own geometry, for saving its state.
struct WindowGeometry {
  bool maximized = false;
  connection::WindowPlacement normal;  // top, left, height, width in the normal state
};

class WindowView {
 public:
  virtual ~WindowView() = default;

  // --- The report tab
  virtual void ApplyEnabling(const ReportTabEnabling& enabling) = 0;
  virtual std::string ServerText() const = 0;
  // Without raising the front-end's "edited by the user" event.
  virtual void SetServerText(const std::string& text) = 0;
  // The list's entries (names in capitals, sorted); the text shown stays.
  virtual void SetServerEntries(const std::vector<std::string>& names) = 0;
  virtual bool WindowsAuthentication() const = 0;
  // `notify`: as if clicked (WindowCore::WindowsAuthenticationClicked follows); otherwise silent.
  virtual void SetWindowsAuthentication(bool ticked, bool notify) = 0;
  virtual void ShowDebugButton(bool visible) = 0;
  // Points the viewer at the empty page, and at a report file's URL.
  virtual void ShowEmptyPage() = 0;
  virtual void Navigate(const std::string& url) = 0;
  // The report buffer grew: the entries appended (after clearing what the debug window held
  // when `cleared`).
  virtual void AppendDebugText(const std::vector<std::string>& entries, bool cleared) = 0;

  // --- The Settings tab
  virtual SettingsValues SettingsTabValues() const = 0;
  // Without marking the settings as changed.
  virtual void ShowSettingsTabValues(const SettingsValues& values) = 0;
  virtual void SetSaveSettingsEnabled(bool enabled) = 0;

  // --- Status bar, cursor, boxes and dialogs
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetProgress(ProgressChange change) = 0;
  virtual void SetWaitCursor(bool on) = 0;
  // Modal, one OK button, caption exactly as given.
  virtual void ShowMessage(MessageKind kind, const std::string& caption,
                           const std::string& text) = 0;
  // Modal Yes/No question, No the default; true for Yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
  // The modal login dialog; nothing when cancelled.
  virtual std::optional<connection::LoginAnswer> AskLogin(const LoginRequest& request) = 0;
  // The save dialog in `folder` with `proposedName`; the chosen file, or nothing.
  virtual std::optional<std::string> ChooseSaveFile(const std::string& folder,
                                                    const std::string& proposedName) = 0;
  // Handles the window messages waiting (the connection's open runs this between its steps).
  virtual void ProcessEvents() = 0;
  virtual WindowGeometry Geometry() const = 0;

  // --- Notifications
  // A report has ended (controls restored, server list updated): for tests and automation.
  virtual void RunFinished(connection::ConnectOutcome /*outcome*/) {}
};

}  // namespace quorvane::shell
