#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "data/connection.h"
#include "data/data_set.h"
#include "data/query.h"
#include "report/html_sink.h"
#include "report/report_buffer.h"
#include "report/report_host.h"
#include "report/run_recorder.h"

namespace quorvane::report {

// What every section generator works with: the report buffer, the shared query and secondary
// data set on the open connection, the count of error blocks, and the host for its settings.
class QueryRunner {
 public:
  QueryRunner(data::Connection& connection, ReportBuffer& buffer, ReportHost& host,
              bool debugMode = false)
      : ADOQuery1(connection),
        connection_(connection),
        buffer_(buffer),
        host_(host),
        debugMode_(debugMode) {}

  ReportHost& Host() { return host_; }
  ReportBuffer& Buffer() { return buffer_; }
  bool DebugMode() const { return debugMode_; }
  // Told of every batch, row set, row and error block; not owned; null: nobody.
  void SetRecorder(RunRecorder* recorder) { recorder_ = recorder; }
  // A part of the section is left out because `setting` (its settings-file name) is off.
  void SkippedBySetting(std::string_view setting) {
    if (recorder_) recorder_->SectionSkipped(setting);
  }

  // Lets the host process waiting events, then appends one entry, unchanged.
  void AppendHtml(std::string text);
  // Appends "<!-- text -->" as one entry.
  void AppendHtmlComment(std::string_view text);

  // Runs one command (its lines are joined by CR LF) on ADOQuery1. A failure becomes an error
  // block; the query is then closed and shows no columns.
  void RunQuery(const std::vector<std::string>& lines);
  void RunQuery(std::string line) { RunQuery(std::vector<std::string>{std::move(line)}); }

  // Writes the error blocks the query still holds: a row that could not be read ended the
  // rows a section was going through.
  void ReportUnreadErrors();
  // Tells the recorder that the row set it was being told of is done with.
  void EndRecordedResultSet();

  // Runs one statement and returns the first column of its first row as text; empty when the
  // statement failed, returned no column, no row or NULL.
  std::string GetSQL(const std::string& sql);

  // The two section shapes: run a command, then append its row sets as tables, or the rows of
  // its first row set as lines in a pre element.
  void TableSection(const std::vector<std::string>& lines, int interval = 0);
  void TableSection(std::string line, int interval = 0) {
    TableSection(std::vector<std::string>{std::move(line)}, interval);
  }
  void TextSection(std::string line);

  // Writes the error block for a caught error and counts it; the "no result set" message of
  // the database layer is not an error for the report and leaves nothing. The first lost link
  // of a run is re-established and told in the block; after that, or when a stop was asked
  // for, RunStopped is thrown instead.
  void HandleADOQueryError(const std::exception& error);

  // The section the run is in, named in what is said about a lost link or a stop.
  void SetSection(std::string_view heading) { section_ = heading; }
  const std::string& Section() const { return section_; }
  // A new run: its first lost link may be re-established again.
  void StartRun();
  bool LinkReestablished() const { return linkReestablished_; }
  // The one call meant for another thread: the run throws RunStopped (the reason and the
  // section) before its next query, or at the error of the running one (which the caller
  // interrupts).
  void RequestStop(std::string reason);

  // The HTML of every row set of the command the query last ran, as tables. `interval` chooses
  // the separator between two tables: "<br>" for 0, nothing for a negative value, and for a
  // positive one "<hr>" between groups of results, a group starting with each result shaped like
  // the command's first (its column names and kinds).
  // The rows are rendered as they are fetched and the HTML is written to `sink` in blocks.
  void RenderResultSets(data::Query& query, data::DataSet& dataSet, int interval, HtmlSink& sink);
  std::string RenderResultSets(data::Query& query, data::DataSet& dataSet, int interval);
  // The rows of the query's current row set as escaped lines inside <tag>...</tag>.
  std::string RenderAsTaggedText(data::Query& query, std::string_view tag);

  std::int32_t ReportExceptionCount = 0;
  data::Query ADOQuery1;
  data::DataSet ADODataSet1;

 private:
  // The markup of an error block for `error`, counted; empty for the "no result set" message.
  std::string ErrorBlock(const std::exception& error);
  std::string LinkLostBlock(const std::exception& error);
  void ThrowIfStopRequested();
  // Tells the recorder of a row set, and of its rows as they are read.
  void Record(const data::RowSetPtr& rows);

  data::Connection& connection_;
  ReportBuffer& buffer_;
  ReportHost& host_;
  bool debugMode_;
  RunRecorder* recorder_ = nullptr;
  data::RowSetPtr recorded_;  // the row set the recorder is being told of
  std::string section_;
  bool linkReestablished_ = false;
  std::atomic<bool> stopRequested_{false};
  std::mutex stopMutex_;
  std::string stopReason_;
};

}  // namespace quorvane::report
