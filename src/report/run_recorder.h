#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "data/date_time.h"
#include "data/row_set.h"

namespace quorvane::report {

// Observes a report run besides the HTML it writes: the sections as they start, every batch,
// every row set and row as it is read, the error blocks, and where the run ended early. The
// snapshot and the coverage ledger are built from these calls alone, so the report's markup
// never depends on them. Calls come from the run's thread, in the order of the report; a row is
// only valid during its call, so that rows can be handed on as they are fetched.
class RunRecorder {
 public:
  virtual ~RunRecorder() = default;

  virtual void RunStarted(const data::DateTime& start) = 0;
  // `anchor` is the name the heading's link target has in the report ("Databases").
  virtual void SectionStarted(std::string_view heading, std::string_view anchor) = 0;
  // A part of the current section was left out because a setting (by its settings-file name,
  // "AllowCmdShell") is off.
  virtual void SectionSkipped(std::string_view setting) = 0;
  // A batch is sent; the row sets that follow are its results.
  virtual void QueryStarted(std::string_view command) = 0;
  virtual void ResultSetStarted(const std::vector<data::Field>& fields) = 0;
  virtual void RowFetched(const std::vector<data::Value>& row) = 0;
  virtual void ResultSetEnded() = 0;
  // An error block of the current section, counted among the report's exceptions.
  virtual void ErrorRaised(const std::exception& error) = 0;
  // The link was lost in the current section and re-established; what the interrupted query
  // would have shown is missing.
  virtual void SectionInterrupted(std::string_view reason) = 0;
  // The run ends in the current section; the report is closed there.
  virtual void RunInterrupted(std::string_view reason) = 0;
};

// The link target a heading's markup opens with (`<a name="X">`); empty when it has none.
std::string SectionAnchor(std::string_view headingHtml);

}  // namespace quorvane::report
