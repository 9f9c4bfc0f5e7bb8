#include "report/query_runner.h"

#include "data/database_error.h"
#include "report/text.h"

namespace quorvane::report {

void QueryRunner::AppendHtml(std::string text) {
  host_.ProcessEvents();
  buffer_.Append(std::move(text));
}

void QueryRunner::AppendHtmlComment(std::string_view text) {
  host_.ProcessEvents();
  buffer_.Append("<!-- " + std::string(text) + " -->");
}

void QueryRunner::RunQuery(const std::vector<std::string>& lines) {
  try {
    ADOQuery1.Close();
    ADOQuery1.ClearFields();
    ADOQuery1.ClearText();
    for (const auto& line : lines) ADOQuery1.AddLine(line);
    ADOQuery1.Open();
    for (const data::DatabaseError& error : ADOQuery1.TakeSkippedErrors()) {
      HandleADOQueryError(error);
    }
  } catch (const data::DatabaseError& error) {
    // Only the database layer's errors belong in the report; anything else is a fault of the
    // program and must end the run where the user sees it.
    HandleADOQueryError(error);
    for (const data::DatabaseError& later : ADOQuery1.TakeSkippedErrors()) {
      HandleADOQueryError(later);
    }
    ADOQuery1.Close();
  }
}

void QueryRunner::TableSection(const std::vector<std::string>& lines, int interval) {
  RunQuery(lines);
  AppendHtml(RenderResultSets(ADOQuery1, ADODataSet1, interval));
}

void QueryRunner::TextSection(std::string line) {
  RunQuery(std::move(line));
  AppendHtml(RenderAsTaggedText(ADOQuery1, "pre"));
}

std::string QueryRunner::GetSQL(const std::string& sql) {
  if (debugMode_) AppendHtmlComment("FUNCTION GetSQL : INPUT = " + sql);
  RunQuery(sql);
  if (debugMode_) {
    AppendHtmlComment("FUNCTION GetSQL : OUTPUT FieldCount = " +
                      std::to_string(ADOQuery1.FieldCount()));
  }
  if (ADOQuery1.FieldCount() == 0 || ADOQuery1.AtEnd()) return {};
  return ADOQuery1.AsText(0);
}

std::string QueryRunner::ErrorBlock(const std::string& message) {
  if (message.find(data::kNoResultSetMessage) != std::string::npos) return {};
  ++ReportExceptionCount;
  // The message comes from the server and quotes names any user may have chosen: escaped.
  return "<div class=\"ExceptionError\"><u>Exception Error:</u><br>" + HtmlEscape(message) +
         "</div>";
}

void QueryRunner::HandleADOQueryError(const std::exception& error) {
  std::string block = ErrorBlock(error.what());
  if (!block.empty()) AppendHtml(std::move(block));
}

}  // namespace quorvane::report
