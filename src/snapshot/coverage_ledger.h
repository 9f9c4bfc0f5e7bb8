#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "data/database_error.h"
#include "report/run_recorder.h"

namespace quorvane::snapshot {

// What became of a section: "ok", "empty" (the server returned no rows), "error" (error blocks),
// "skipped" (a setting turned all of it off), "interrupted" (the connection was lost, or the run
// was stopped, while in it).
enum class SectionStatus { kOk, kEmpty, kError, kSkipped, kInterrupted };
std::string_view StatusName(SectionStatus status);

struct ErrorRecord {
  int number = 0;        // the server's or the driver's error number; 0 when none was given
  std::string sqlState;  // the ODBC SQLSTATE; empty when none was given
  std::string message;
  data::ServerMessageDetail detail = {};
};

struct SectionRecord {
  std::string heading;
  std::string anchor;
  int queries = 0;
  std::uint64_t rows = 0;
  std::vector<ErrorRecord> errors;
  std::vector<std::string> skippedBy;  // settings, in the order they took effect
  std::string interruption;            // empty unless interrupted

  SectionStatus Status() const;
  // Why the section is not ok: the interruption, the first error's text, the setting, or that no
  // rows came; empty when it is ok.
  std::string Reason() const;
};

// Keeps, section by section, what a run produced, so that the command can say at the end which
// sections are not ok and why. What comes before the first heading (the server's name in the
// report's title) counts for the first section.
class CoverageLedger : public report::RunRecorder {
 public:
  explicit CoverageLedger(int sectionsExpected) : sectionsExpected_(sectionsExpected) {}

  void RunStarted(const data::DateTime&) override {}
  void SectionStarted(std::string_view heading, std::string_view anchor) override;
  void SectionSkipped(std::string_view setting) override;
  void QueryStarted(std::string_view) override { ++Current().queries; }
  void ResultSetStarted(const std::vector<data::Field>&) override {}
  void RowFetched(const std::vector<data::Value>&) override { ++Current().rows; }
  void ResultSetEnded() override {}
  void ErrorRaised(const std::exception& error) override;
  void SectionInterrupted(std::string_view reason) override;
  void RunInterrupted(std::string_view reason) override;

  const std::vector<SectionRecord>& Sections() const { return sections_; }
  int SectionsExpected() const { return sectionsExpected_; }
  // Why the run ended before its last section; empty when it did not.
  const std::string& RunInterruption() const { return runInterruption_; }
  int Count(SectionStatus status) const;
  int Exceptions() const;

 private:
  SectionRecord& Current() { return sections_.empty() ? preamble_ : sections_.back(); }

  int sectionsExpected_;
  std::vector<SectionRecord> sections_;
  SectionRecord preamble_;
  std::string runInterruption_;
};

// The ledger as the report command ends with it: one line per section that is not ok, with its
// status and reason, then a count line. Control characters from the server are shown as their
// pictures, so that a message cannot drive the terminal.
void PrintLedger(std::ostream& out, const CoverageLedger& ledger);

}  // namespace quorvane::snapshot
