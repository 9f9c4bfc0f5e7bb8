#include "sections/identity.h"

#include <array>
#include <string_view>
#include <utility>

#include "data/database_error.h"
#include "report/text.h"

namespace quorvane::sections {

namespace {

// Appends the first value of a one-line command, its line breaks turned into "<br>".
void AppendFirstValue(report::QueryRunner& q, const char* command) {
  q.RunQuery(command);
  if (q.ADOQuery1.FieldCount() == 0 || q.ADOQuery1.AtEnd()) return;
  std::string text = report::HtmlEscape(q.ADOQuery1.DisplayText(0));
  std::string html;
  for (char c : text) {
    if (c == '\n') {
      html += "<br>";
    } else {
      html += c;
    }
  }
  q.AppendHtml(std::move(html));
}

using Sentence = std::pair<std::string_view, std::string_view>;
constexpr std::string_view kInvalid = "Invalid input or error.";

// Runs a SERVERPROPERTY query and looks its text up, letter case respected.
template <std::size_t N>
std::string PropertySentence(report::QueryRunner& q, const char* command,
                             const std::array<Sentence, N>& sentences) {
  q.RunQuery(command);
  std::string text;
  if (q.ADOQuery1.FieldCount() > 0 && !q.ADOQuery1.AtEnd()) text = q.ADOQuery1.DisplayText(0);
  for (const auto& [key, sentence] : sentences) {
    if (text == key) return std::string(sentence);
  }
  return std::string(kInvalid);
}

}  // namespace

void GetSQLVersion(report::QueryRunner& q) {
  AppendFirstValue(q, "select @@version");
}

void GetServiceName(report::QueryRunner& q) {
  AppendFirstValue(q, "select @@SERVICENAME");
}

void xp_msver(report::QueryRunner& q) {
  q.TableSection("exec master..xp_msver");
}

data::DateTime GetServerStartDateTime(report::QueryRunner& q) {
  q.RunQuery(
      "select crdate \"SQL Server Started\" from master..sysdatabases where name = 'tempdb'");
  if (q.ADOQuery1.FieldCount() == 0 || q.ADOQuery1.AtEnd()) return {};
  try {
    return q.ADOQuery1.AsDateTime(0);
  } catch (const data::DatabaseError& error) {
    q.HandleADOQueryError(error);
    return {};
  }
}

std::int32_t GetUpTimeDays(report::QueryRunner& q) {
  q.RunQuery(
      "select DateDiff(D, crdate, GetDate()) \"Up-Time (Days)\" from master..sysdatabases where "
      "name = 'tempdb'");
  if (q.ADOQuery1.FieldCount() == 0 || q.ADOQuery1.AtEnd()) return 0;
  try {
    return q.ADOQuery1.AsInteger(0);
  } catch (const data::DatabaseError& error) {
    q.HandleADOQueryError(error);
    return 0;
  }
}

std::string IsIntegratedSecurityOnly(report::QueryRunner& q) {
  static constexpr std::array<Sentence, 2> kSentences = {
      {{"0", "Mixed mode authentication."}, {"1", "Windows integrated authentication."}}};
  return PropertySentence(q, "Select SERVERPROPERTY('IsIntegratedSecurityOnly')", kSentences);
}

std::string IsClustered(report::QueryRunner& q) {
  static constexpr std::array<Sentence, 2> kSentences = {
      {{"0", "Not Clustered."}, {"1", "Clustered."}}};
  return PropertySentence(q, "Select SERVERPROPERTY('IsClustered')", kSentences);
}

std::string IsFullTextInstalled(report::QueryRunner& q) {
  static constexpr std::array<Sentence, 2> kSentences = {
      {{"0", "Full-text is not installed."}, {"1", "Full-text is installed."}}};
  return PropertySentence(q, "Select SERVERPROPERTY('IsFullTextInstalled')", kSentences);
}

std::string LicenseType(report::QueryRunner& q) {
  static constexpr std::array<Sentence, 3> kSentences = {{{"PER_SEAT", "Per-seat mode."},
                                                          {"PER_PROCESSOR", "Per-processor mode."},
                                                          {"DISABLED", "Licensing is disabled."}}};
  return PropertySentence(q, "Select SERVERPROPERTY('LicenseType')", kSentences);
}

std::string EngineEdition(report::QueryRunner& q) {
  static constexpr std::array<Sentence, 4> kSentences = {
      {{"1", "Personal or Desktop Engine"},
       {"2", "Standard"},
       {"3", "Enterprise (may be Enterprise, Enterprise Evaluation, or Developer)"},
       {"4", "Express"}}};
  return PropertySentence(q, "Select SERVERPROPERTY('EngineEdition')", kSentences);
}

}  // namespace quorvane::sections
