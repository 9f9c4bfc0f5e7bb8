#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/report_file.h"
#include "snapshot/coverage_ledger.h"
#include "snapshot/json_text.h"
#include "snapshot/server_identity.h"

namespace quorvane::snapshot {

// What the command knows of a run before it starts.
struct SnapshotHeader {
  std::string toolVersion;
  nlohmann::json target;    // the server as asked for, and the login (null: Windows)
  nlohmann::json settings;  // by their settings-file names
};

// Writes the snapshot of a run (docs/snapshot-format.md) to its file as the run goes: rows are
// written as they are observed and nothing but the current section's errors is held, whatever
// the size of a result. Every call is passed on to `ledger` first, whose statuses the document
// takes. A failure to write does not disturb the run: it is kept, and Finish throws it.
class SnapshotWriter : public report::RunRecorder {
 public:
  // The file is made when the run starts, beside `target` (owner only, as the report), so that a
  // run that never connects leaves nothing behind.
  SnapshotWriter(std::filesystem::path target, SnapshotHeader header, CoverageLedger& ledger);
  ~SnapshotWriter() override;
  SnapshotWriter(const SnapshotWriter&) = delete;
  SnapshotWriter& operator=(const SnapshotWriter&) = delete;

  void RunStarted(const data::DateTime& start) override;
  void SectionStarted(std::string_view heading, std::string_view anchor) override;
  void SectionSkipped(std::string_view setting) override;
  void QueryStarted(std::string_view command) override;
  void ResultSetStarted(const std::vector<data::Field>& fields) override;
  void RowFetched(const std::vector<data::Value>& row) override;
  void ResultSetEnded() override;
  void ErrorRaised(const std::exception& error) override;
  void SectionInterrupted(std::string_view reason) override;
  void RunInterrupted(std::string_view reason) override;

  // Ends the document with the end time, the server's identity, the coverage and the findings
  // (a JSON list), and puts the file in place. Throws report::ReportWriteError, also for a
  // failure met on the way.
  void Finish(const data::DateTime& end, const nlohmann::json& findings = nlohmann::json::array());

 private:
  std::string& Out() { return sectionOpen_ ? buffer_ : preamble_; }
  void Flush();
  void CloseSection();

  std::filesystem::path target_;
  std::unique_ptr<report::ReportFileWriter> file_;
  SnapshotHeader header_;
  CoverageLedger& ledger_;
  ServerIdentity identity_;
  std::string buffer_;
  std::string preamble_;  // result sets read before the first heading
  std::optional<std::string> failure_;
  std::string command_;
  std::vector<ValueShape> shapes_;
  bool started_ = false;
  bool sectionOpen_ = false;
  bool anySection_ = false;
  bool resultSetOpen_ = false;
  bool firstRow_ = true;
  std::size_t resultSetsInSection_ = 0;
};

}  // namespace quorvane::snapshot
