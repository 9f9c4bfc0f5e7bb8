// The Settings tab's values as its controls hold them, and their mapping to the settings file's
// values. A front-end reads its controls into SettingsValues (WindowView::SettingsTabValues)
// and shows what WindowView::ShowSettingsTabValues gives it; clamping, the masked timeout and
// the defaults are decided here.
#pragma once

#include <string>
#include <string_view>

#include "connection/encryption.h"
#include "connection/settings.h"

namespace quorvane::shell {

struct SettingsValues {
  std::string reportPath;       // `FileSavePathEdit`
  std::string timeoutText;      // `ConnectionTimeoutMaskEdit`: up to three digits, as shown
  std::string provider;         // `ProviderEdit`
  std::string jobHistory;       // `JobHistoryEdit`: digits as typed
  std::string jobHistoryLimit;  // `JobHistoryLimitEdit`
  bool allowCmdShell = true;    // `AllowCmdShellCheckBox`
  bool allowOACreate = true;    // `AllowOACreateCheckBox`
  bool ignoreReplicationSection = false;
  bool findings = false;  // `FindingsCheckBox`
  connection::EncryptMode encrypt = connection::EncryptMode::kOptional;
  bool trustServerCertificate = false;  // only offered (enabled) for Mandatory
  bool operator==(const SettingsValues&) const = default;
};

// What the report run reads "at the moment a row needs it".
struct RunSettings {
  bool allowCmdShell = true;
  bool allowOACreate = true;
  bool ignoreReplicationSection = false;
  int jobHistory = connection::kDefaultJobHistory;
  int jobHistoryLimit = connection::kDefaultJobHistoryLimit;
  bool findings = false;  // read as the run ends
  bool operator==(const RunSettings&) const = default;
};

// A job-history field's value: 1 to 1000, an empty or unreadable text 1.
int JobHistoryValue(std::string_view text);
// The field's text after it lost the focus or was saved: the clamped value.
std::string ClampedJobHistoryText(std::string_view text);

// The masked timeout field's text as the settings file keeps it: three positions, unfilled
// ones as leading blanks; and the other way, what the field shows for a stored text.
std::string StoredTimeoutText(std::string_view shown);
std::string ShownTimeoutText(std::string_view stored);

SettingsValues ValuesFromSettings(const connection::Settings& settings);
// The tab's values written into `settings` (clamped); what the tab does not hold stays.
void ApplyValues(const SettingsValues& values, connection::Settings& settings);
// The Default Settings button: the defaults, with the report folder kept.
SettingsValues DefaultValues(const SettingsValues& current);

RunSettings RunSettingsFrom(const SettingsValues& values);
connection::EncryptionOptions EncryptionFrom(const SettingsValues& values);
// Whether the trust box is offered for the mode.
bool TrustOffered(connection::EncryptMode mode);

}  // namespace quorvane::shell
