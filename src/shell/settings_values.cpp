#include "shell/settings_values.h"

#include <algorithm>
#include <charconv>

namespace quorvane::shell {

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

int JobHistoryValue(std::string_view text) {
  long long rows = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rows);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return connection::kMinJobHistory;
  }
  return connection::ClampJobHistory(static_cast<int>(std::clamp<long long>(rows, 0, 1000000)));
}

std::string ClampedJobHistoryText(std::string_view text) {
  return std::to_string(JobHistoryValue(text));
}

std::string StoredTimeoutText(std::string_view shown) {
  const std::string_view digits = Trimmed(shown);
  return std::string(3 - std::min<std::size_t>(digits.size(), 3), ' ') + std::string(digits);
}

std::string ShownTimeoutText(std::string_view stored) {
  return std::string(Trimmed(stored));
}

SettingsValues ValuesFromSettings(const connection::Settings& settings) {
  SettingsValues values;
  values.reportPath = settings.reportPath;
  values.timeoutText = ShownTimeoutText(settings.connectionTimeout);
  values.provider = settings.connectionProvider;
  values.jobHistory = std::to_string(connection::ClampJobHistory(settings.jobHistory));
  values.jobHistoryLimit = std::to_string(connection::ClampJobHistory(settings.jobHistoryLimit));
  values.allowCmdShell = settings.allowCmdShell;
  values.allowOACreate = settings.allowOACreate;
  values.ignoreReplicationSection = settings.ignoreReplicationSection;
  values.findings = settings.findings;
  values.encrypt = settings.encrypt;
  values.trustServerCertificate = settings.trustServerCertificate;
  return values;
}

void ApplyValues(const SettingsValues& values, connection::Settings& settings) {
  settings.reportPath = values.reportPath;
  settings.connectionTimeout = StoredTimeoutText(values.timeoutText);
  settings.connectionProvider = values.provider;
  settings.jobHistory = JobHistoryValue(values.jobHistory);
  settings.jobHistoryLimit = JobHistoryValue(values.jobHistoryLimit);
  settings.allowCmdShell = values.allowCmdShell;
  settings.allowOACreate = values.allowOACreate;
  settings.ignoreReplicationSection = values.ignoreReplicationSection;
  settings.findings = values.findings;
  settings.encrypt = values.encrypt;
  settings.trustServerCertificate = values.trustServerCertificate;
}

SettingsValues DefaultValues(const SettingsValues& current) {
  connection::Settings settings;
  ApplyValues(current, settings);
  connection::DefaultSettingsBitBtnClick(settings);
  return ValuesFromSettings(settings);
}

RunSettings RunSettingsFrom(const SettingsValues& values) {
  return RunSettings{values.allowCmdShell,
                     values.allowOACreate,
                     values.ignoreReplicationSection,
                     JobHistoryValue(values.jobHistory),
                     JobHistoryValue(values.jobHistoryLimit),
                     values.findings};
}

bool TrustOffered(connection::EncryptMode mode) {
  // Optional never checks the certificate and Strict always does.
  return mode == connection::EncryptMode::kMandatory;
}

connection::EncryptionOptions EncryptionFrom(const SettingsValues& values) {
  connection::EncryptionOptions options;
  options.mode = values.encrypt;
  options.trustServerCertificate = TrustOffered(values.encrypt) && values.trustServerCertificate;
  return options;
}

}  // namespace quorvane::shell
