#include "report/query_runner.h"

#include <chrono>

#include "data/database_error.h"
#include "report/run_stopped.h"
#include "report/text.h"

namespace quorvane::report {

void QueryRunner::AppendHtml(std::string text) {
  host_.ProcessEvents();
  buffer_.Append(std::move(text));
}

void QueryRunner::AppendHtmlComment(std::string_view text) {
  host_.ProcessEvents();
  buffer_.Append("<!-- " + CommentText(text) + " -->");
}

void QueryRunner::ReportUnreadErrors() {
  EndRecordedResultSet();
  for (const data::DatabaseError& error : ADOQuery1.TakeSkippedErrors()) {
    HandleADOQueryError(error);
  }
}

void QueryRunner::RunQuery(const std::vector<std::string>& lines) {
  ThrowIfStopRequested();
  ReportUnreadErrors();
  host_.QueryStarted();
  try {
    ADOQuery1.Close();
    ADOQuery1.ClearFields();
    ADOQuery1.ClearText();
    for (const auto& line : lines) ADOQuery1.AddLine(line);
    if (recorder_) recorder_->QueryStarted(ADOQuery1.CommandText());
    ADOQuery1.Open();
    Record(ADOQuery1.Current());
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

namespace {

// A section's HTML written straight into one entry of the report buffer.
class EntrySink : public HtmlSink {
 public:
  explicit EntrySink(ReportBuffer& buffer) : buffer_(buffer) {}
  void Write(std::string_view html) override { buffer_.AppendPart(html); }

 private:
  ReportBuffer& buffer_;
};

}  // namespace

void QueryRunner::TableSection(const std::vector<std::string>& lines, int interval) {
  RunQuery(lines);
  EntrySink entry(buffer_);
  try {
    RenderResultSets(ADOQuery1, ADODataSet1, interval, entry);
  } catch (...) {
    buffer_.EndEntry();  // what was written of it stays, as one entry
    throw;
  }
  host_.ProcessEvents();
  buffer_.EndEntry();
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

namespace {

std::string Block(const std::string& message) {
  // The message comes from the server and quotes names any user may have chosen: escaped.
  return "<div class=\"ExceptionError\"><u>Exception Error:</u><br>" + HtmlEscape(message) +
         "</div>";
}

constexpr std::string_view kLinkLostLead = "The connection to the server was lost";

// The driver's own words on a lost link, without the lead the database layer put before them.
std::string LinkLostDetail(const std::exception& error) {
  std::string_view detail = error.what();
  if (detail.starts_with(kLinkLostLead) && detail.ends_with(")")) {
    detail.remove_prefix(kLinkLostLead.size());
    if (detail.starts_with(" (")) detail = detail.substr(2, detail.size() - 3);
  }
  return std::string(detail);
}

bool LinkLost(const std::exception& error) {
  const auto* database = dynamic_cast<const data::DatabaseError*>(&error);
  return database && (database->state() == "08S01" || database->state() == "08003");
}

}  // namespace

std::string QueryRunner::ErrorBlock(const std::exception& error) {
  ThrowIfStopRequested();
  const std::string message = error.what();
  if (message.find(data::kNoResultSetMessage) != std::string::npos) return {};
  if (LinkLost(error)) return LinkLostBlock(error);
  if (recorder_) {
    EndRecordedResultSet();
    recorder_->ErrorRaised(error);
  }
  ++ReportExceptionCount;
  return Block(message);
}

std::string QueryRunner::LinkLostBlock(const std::exception& error) {
  const std::string lost = std::string(kLinkLostLead) + " during the section \"" + section_ + "\"";
  const std::string detail = LinkLostDetail(error);
  if (linkReestablished_) throw RunStopped(lost + " again (" + detail + ")");
  linkReestablished_ = true;
  host_.Notify(lost + "; reconnecting...");
  const auto started = std::chrono::steady_clock::now();
  try {
    connection_.Reconnect();
  } catch (const std::exception& failure) {
    throw RunStopped(lost + " (" + detail + ") and could not be re-established (" + failure.what() +
                     ")");
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  host_.Notify(lost + "; it was re-established in " + std::to_string(took.count()) +
               " ms and the report goes on.");
  if (recorder_) {
    EndRecordedResultSet();
    recorder_->ErrorRaised(error);
    recorder_->SectionInterrupted(lost + " (" + detail + ") and re-established");
  }
  ++ReportExceptionCount;
  return Block(lost + " (" + detail +
               "). The connection was re-established and the report goes on with the next query; "
               "what the interrupted query would have shown is missing.");
}

void QueryRunner::HandleADOQueryError(const std::exception& error) {
  std::string block = ErrorBlock(error);
  if (!block.empty()) AppendHtml(std::move(block));
}

void QueryRunner::Record(const data::RowSetPtr& rows) {
  EndRecordedResultSet();
  if (!recorder_ || !rows) return;
  recorder_->ResultSetStarted(rows->fields);
  recorded_ = rows;
  // Rows are told of as whoever reads the row set reaches them: nothing is read twice.
  rows->Observe([this](const std::vector<data::Value>& row) { recorder_->RowFetched(row); });
}

void QueryRunner::EndRecordedResultSet() {
  if (!recorded_) return;
  recorded_->Observe(nullptr);
  recorded_.reset();
  recorder_->ResultSetEnded();
}

void QueryRunner::StartRun() {
  linkReestablished_ = false;
  section_ = "the report's title";
}

void QueryRunner::RequestStop(std::string reason) {
  {
    const std::lock_guard lock(stopMutex_);
    stopReason_ = std::move(reason);
  }
  stopRequested_ = true;
}

void QueryRunner::ThrowIfStopRequested() {
  if (!stopRequested_) return;
  const std::lock_guard lock(stopMutex_);
  throw RunStopped(stopReason_ + " during the section \"" + section_ + "\"");
}

}  // namespace quorvane::report
