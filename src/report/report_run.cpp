#include "report/report_run.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "report/locale_text.h"
#include "report/report_file.h"
#include "report/resources.h"
#include "report/run_stopped.h"
#include "report/text.h"

namespace quorvane::report {

namespace {

constexpr const char* kMakerLine =
    "A free inventory tool for SQL Server administrators: "
    "<a href=\"https://github.com/quorvane\">github.com/quorvane</a>";

}  // namespace

int Timer1Timer(int position) {
  return std::clamp(position + 18, 0, 100);
}

ReportRun::ReportRun(data::Connection& SQLServer, ReportHost& host, const ReportOutline& outline,
                     ReportRunOptions options)
    : SQLServer_(SQLServer),
      host_(host),
      outline_(outline),
      options_(std::move(options)),
      runner_(SQLServer, buffer_, host, options_.debugMode) {
  runner_.ADOQuery1.SetCommandTimeout(options_.queryTimeoutSeconds);
  runner_.SetRecorder(options_.recorder);
  buffer_.KeepEntries(options_.keepReportInMemory);
}

const std::filesystem::path& ReportRun::TemporaryReportFile() {
  if (options_.temporaryReportFile.empty()) {
    options_.temporaryReportFile = PrivateTemporaryFolder() / kTemporaryReportName;
  }
  return options_.temporaryReportFile;
}

std::string ReportRun::CopyrightLine(const char* anchorStart) const {
  return std::string(anchorStart) + startText_ + " by SQL Server Quorvane v" + GetVersionString() +
         "<br>" + kMakerLine + "</div>";
}

// Streams the buffer's text to the report file as it is appended, so that what was gathered
// is on disk whatever happens to the process later.
class ReportRun::FileSink : public ReportBuffer::Sink {
 public:
  explicit FileSink(ReportFileWriter& file) : file_(file) {}
  void Cleared() override {
    if (file_.BytesWritten() > 0) throw std::logic_error("report cleared while being written");
  }
  void Write(std::string_view text) override { file_.Append(text); }

 private:
  ReportFileWriter& file_;
};

ReportRun::~ReportRun() {
  buffer_.SetSink(nullptr);
}

namespace {

constexpr const char* kEndBlockStart =
    "<div class=\"ExceptionError\"><u>Exception Error:</u><br>The report ends here: ";

}  // namespace

std::vector<std::string> ReportRun::ClosingEntries() const {
  return {
      CopyrightLine("<a name=\"PageBottom\"></a><div class=\"CopyrightLine\">Report created on "),
      "</body>", "</html>"};
}

std::string ReportRun::Footer() const {
  std::string footer;
  for (const std::string& entry : ClosingEntries()) footer += entry + "\r\n";
  return footer;
}

void ReportRun::Heading(const std::string& html, std::string_view section) {
  host_.SectionStarted(section, ++sectionNumber_, outline_.SectionCount());
  runner_.EndRecordedResultSet();
  if (options_.recorder) options_.recorder->SectionStarted(section, SectionAnchor(html));
  runner_.SetSection(section);
  if (file_) {
    file_->SetCrashEnding(std::string(kEndBlockStart) + "the program was stopped by ",
                          HtmlEscape(" (a fault in the ODBC driver or in the program) during "
                                     "the section \"" +
                                     std::string(section) + "\"") +
                              ".</div>\r\n" + Footer());
  }
  runner_.AppendHtml(html);
}

void ReportRun::GatherInformation() {
  host_.SetRunControlsEnabled(false);
  startTime_ = options_.clock ? options_.clock() : LocalNow();
  // Formatted once: the crash ending repeats it at every section, and the locale is slow.
  startText_ = LocaleDateTimeText(startTime_);
  if (options_.reportFileFor) options_.temporaryReportFile = options_.reportFileFor(startTime_);
  if (options_.recorder) options_.recorder->RunStarted(startTime_);
  sectionNumber_ = 0;
  runner_.StartRun();
  try {
    buffer_.SetSink(nullptr);
    sink_.reset();
    // Created first: a folder that cannot take the report fails the run before any query.
    file_ = std::make_unique<ReportFileWriter>(TemporaryReportFile());
    buffer_.Clear();
    sink_ = std::make_unique<FileSink>(*file_);
    buffer_.SetSink(sink_.get());
    buffer_.Load(LoadResource("Resource_BaseHTML"));
    file_->SetCrashEnding(std::string(kEndBlockStart) + "the program was stopped by ",
                          ".</div>\r\n" + Footer());
    host_.StartProgress();
    host_.SetStatusText("Collecting information...");
    runner_.AppendHtml(
        CopyrightLine("<a name=\"PageTop\"></a><div class=\"CopyrightLine\">Report created on "));
    outline_.AppendBody(runner_, [this](const std::string& html, std::string_view section) {
      Heading(html, section);
    });
    runner_.ReportUnreadErrors();
    if (options_.closingEntries) {
      for (std::string& entry : options_.closingEntries()) runner_.AppendHtml(std::move(entry));
    }
    for (std::string& entry : ClosingEntries()) runner_.AppendHtml(std::move(entry));
    if (SQLServer_.Connected()) SQLServer_.Close();
    SQLServer_.ForgetConnectionString();
    WriteAndShow();
  } catch (const ReportWriteError& error) {
    // Nothing can be added to the report: the unfinished file goes, an earlier one stays.
    buffer_.SetSink(nullptr);
    file_.reset();
    CloseEarly(error.what());
    throw;
  } catch (const RunStopped& stop) {
    CloseEarly(stop.what());
    throw;
  } catch (const std::exception& error) {
    CloseEarly(error.what());
    throw;
  }
  host_.StopProgress();
  host_.RestoreDefaultCursor();
  host_.SetRunControlsEnabled(true);
  // The status bar keeps saying that the link was lost on the way, as the report does.
  const std::string relinked =
      runner_.LinkReestablished()
          ? " The connection to the server was lost once and re-established."
          : "";
  host_.SetStatusText("Finished." + relinked);
  const std::int32_t exceptions = runner_.ReportExceptionCount;
  if (exceptions > 0) {
    host_.ShowWarning("Warning", "There were " + std::to_string(exceptions) +
                                     " exception(s) whilst generating the report.\n"
                                     "The exception(s) are highlighted in red.");
    host_.SetStatusText(std::to_string(exceptions) +
                        " exception(s) found whilst generating the report. The exception(s) are "
                        "highlighted in red." +
                        relinked);
  }
  reportShown_ = 1;
}

void ReportRun::CloseEarly(const std::string& reason) {
  // Put the window back to idle and keep what was built, closed, so the user sees how far it got
  // and why it ended there.
  runner_.EndRecordedResultSet();
  if (options_.recorder) options_.recorder->RunInterrupted(reason);
  runner_.ADOQuery1.Close();
  if (SQLServer_.Connected()) SQLServer_.Close();
  SQLServer_.ForgetConnectionString();
  host_.StopProgress();
  host_.RestoreDefaultCursor();
  host_.SetRunControlsEnabled(true);
  host_.SetStatusText("Report failed: " + reason);
  if (!file_) return;
  try {
    runner_.AppendHtml(kEndBlockStart + HtmlEscape(reason) + ".</div>");
    for (std::string& entry : ClosingEntries()) runner_.AppendHtml(std::move(entry));
    WriteAndShow();
  } catch (const ReportWriteError& error) {
    // The report file failing too is said, but the first reason stays the one thrown on.
    host_.SetStatusText("Report failed: " + reason + "; " + error.what());
    buffer_.SetSink(nullptr);
    file_.reset();
  }
}

void ReportRun::WriteAndShow() {
  buffer_.SetSink(nullptr);
  file_->Commit();
  file_.reset();
  host_.Navigate(FileUrl(TemporaryReportFile()));
}

}  // namespace quorvane::report
