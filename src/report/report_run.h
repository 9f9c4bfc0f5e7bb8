#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/date_time.h"
#include "report/query_runner.h"
#include "report/report_buffer.h"
#include "report/report_file.h"
#include "report/report_host.h"
#include "report/report_outline.h"
#include "report/run_recorder.h"

namespace quorvane::report {

struct ReportRunOptions {
  bool debugMode = false;
  // Off: the report is only written to its file, not also kept in memory (the window keeps it
  // for saving and its debug window).
  bool keepReportInMemory = true;
  // Seconds each query may take; 0: no limit.
  int queryTimeoutSeconds = data::Query::kCommandTimeoutSeconds;
  // Where every run writes its report; empty: the private temporary folder.
  std::filesystem::path temporaryReportFile;
  // Or where a run writes it, named from the run's start time (the report command's proposed
  // name); asked when the run starts.
  std::function<std::filesystem::path(const data::DateTime& start)> reportFileFor;
  // The clock that gives the report start time; empty: the local time.
  std::function<data::DateTime()> clock;
  // Told what the run reads and where it ends (the snapshot, the coverage ledger); not owned,
  // must outlive the run; null: nobody.
  RunRecorder* recorder = nullptr;
  // Entries appended after the last section and before the footer (the findings), asked for
  // when the run gets there; none, or no function: the report is as it has always been.
  std::function<std::vector<std::string>()> closingEntries;
};

// One report of the connected server: the outline from header to footer, written to the
// temporary report file as it is built and shown through the host. One object serves every run
// of a window.
class ReportRun {
 public:
  // `outline` (the sections, in order) must outlive the run.
  ReportRun(data::Connection& SQLServer, ReportHost& host, const ReportOutline& outline,
            ReportRunOptions options = {});
  ~ReportRun();

  // The connection's after-connect step: builds the whole report. When an error escapes it (a
  // RunStopped, a fault), the host is put back to idle ("Report failed: " + message), the
  // connection is closed, what was built so far is closed with a block giving the reason,
  // written and shown, and the error is thrown on. A ReportWriteError leaves the report file as
  // it was. The connection string is forgotten at the end of every run.
  void GatherInformation();
  // Thread-safe: stops the run at its next query (see QueryRunner::RequestStop).
  void RequestStop(std::string reason) { runner_.RequestStop(std::move(reason)); }

  ReportBuffer& HTMLContainer() { return buffer_; }
  QueryRunner& Runner() { return runner_; }
  std::int32_t ReportExceptionCount() const { return runner_.ReportExceptionCount; }
  void ResetReportExceptionCount() { runner_.ReportExceptionCount = 0; }
  const data::DateTime& ReportStartTime() const { return startTime_; }
  // 1 once a run has completed, as the viewer's context menu needs to know.
  int ReportShown() const { return reportShown_; }
  const std::filesystem::path& TemporaryReportFile();

 private:
  std::string CopyrightLine(const char* anchorStart) const;
  void WriteAndShow();
  void Heading(const std::string& html, std::string_view section);
  void CloseEarly(const std::string& reason);
  // The last entries of every report, and their text as they end the file.
  std::vector<std::string> ClosingEntries() const;
  std::string Footer() const;

  class FileSink;

  data::Connection& SQLServer_;
  ReportHost& host_;
  const ReportOutline& outline_;
  ReportRunOptions options_;
  ReportBuffer buffer_;
  QueryRunner runner_;
  data::DateTime startTime_;
  std::string startText_;  // startTime_ as the report shows it
  int reportShown_ = 0;
  int sectionNumber_ = 0;
  std::unique_ptr<ReportFileWriter> file_;
  std::unique_ptr<FileSink> sink_;
};

// The progress timer's step: the bar advances by 18, bounded to 0..100.
int Timer1Timer(int position);

}  // namespace quorvane::report
