#include "snapshot/snapshot_writer.h"

#include <stdexcept>

#include "snapshot/snapshot_format.h"

namespace quorvane::snapshot {

namespace {

constexpr std::size_t kFlushSize = 64 * 1024;

std::string Field(std::string_view name, std::string_view jsonValue) {
  return JsonString(name) + ":" + std::string(jsonValue);
}

nlohmann::json ErrorJson(const ErrorRecord& error) {
  nlohmann::json json = {{"message", error.message}};
  // Only what the driver gave: absent is not zero.
  if (error.number != 0) json["number"] = error.number;
  if (!error.sqlState.empty()) json["sqlState"] = error.sqlState;
  const data::ServerMessageDetail& detail = error.detail;
  if (detail.messageState) json["state"] = *detail.messageState;
  if (detail.severity) json["class"] = *detail.severity;
  if (detail.line) json["line"] = *detail.line;
  if (detail.procedure) json["procedure"] = *detail.procedure;
  return json;
}

std::string Dump(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

SnapshotWriter::SnapshotWriter(std::filesystem::path target, SnapshotHeader header,
                               CoverageLedger& ledger)
    : target_(std::move(target)), header_(std::move(header)), ledger_(ledger) {}

// Without Finish the unfinished file goes with the file writer: no half document is left.
SnapshotWriter::~SnapshotWriter() = default;

void SnapshotWriter::Flush() {
  if (failure_ || !file_) {
    buffer_.clear();
    return;
  }
  try {
    file_->Append(buffer_);
  } catch (const report::ReportWriteError& error) {
    failure_ = error.what();
  }
  buffer_.clear();
}

void SnapshotWriter::RunStarted(const data::DateTime& start) {
  ledger_.RunStarted(start);
  if (started_) throw std::logic_error("a snapshot records one run");
  started_ = true;
  try {
    file_ = std::make_unique<report::ReportFileWriter>(target_,
                                                       report::ReportFileWriter::CrashGuard::kOff);
  } catch (const report::ReportWriteError& error) {
    failure_ = error.what();
  }
  buffer_ +=
      "{" + Field("format", JsonString(kFormatName)) + "," +
      Field("formatVersion", std::to_string(kFormatVersion)) + "," +
      Field("tool", Dump({{"name", "SQL Server Quorvane"}, {"version", header_.toolVersion}})) +
      "," + Field("startTime", JsonString(IsoLocalDateTime(start))) + "," +
      Field("target", Dump(header_.target)) + "," + Field("settings", Dump(header_.settings)) +
      ",\"sections\":[";
}

void SnapshotWriter::CloseSection() {
  if (!sectionOpen_) return;
  const SectionRecord& section = ledger_.Sections().back();
  nlohmann::json errors = nlohmann::json::array();
  for (const ErrorRecord& error : section.errors) errors.push_back(ErrorJson(error));
  buffer_ += "]," + Field("errors", Dump(errors)) + "," +
             Field("skipped", Dump(section.skippedBy)) + "," +
             Field("status", JsonString(StatusName(section.Status())));
  if (section.Status() != SectionStatus::kOk) {
    buffer_ += "," + Field("reason", JsonString(section.Reason()));
  }
  buffer_ += "}";
  sectionOpen_ = false;
  Flush();
}

void SnapshotWriter::SectionStarted(std::string_view heading, std::string_view anchor) {
  CloseSection();
  ledger_.SectionStarted(heading, anchor);
  if (anySection_) {
    buffer_ += ",";
    resultSetsInSection_ = 0;
  }
  buffer_ += "{" + Field("heading", JsonString(heading)) + "," +
             Field("anchor", JsonString(anchor)) + ",\"resultSets\":[";
  // What came before the first heading belongs to the first section.
  buffer_ += preamble_;
  preamble_.clear();
  anySection_ = true;
  sectionOpen_ = true;
}

void SnapshotWriter::SectionSkipped(std::string_view setting) {
  ledger_.SectionSkipped(setting);
}

void SnapshotWriter::QueryStarted(std::string_view command) {
  ledger_.QueryStarted(command);
  identity_.QueryStarted(command);
  command_ = command;
}

void SnapshotWriter::ResultSetStarted(const std::vector<data::Field>& fields) {
  ledger_.ResultSetStarted(fields);
  identity_.ResultSetStarted(fields);
  if (resultSetOpen_) throw std::logic_error("a result set started inside another");
  std::string& out = Out();
  if (resultSetsInSection_++ > 0) out += ",";
  out += "{" + Field("command", JsonString(command_)) + ",\"columns\":[";
  shapes_.clear();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ",";
    const std::string& type = fields[i].sqlType;
    out += "{" + Field("name", JsonString(fields[i].name)) + "," +
           Field("type", type.empty() ? std::string("null") : JsonString(type)) + "}";
    shapes_.push_back(ShapeOf(type));
  }
  out += "],\"rows\":[";
  resultSetOpen_ = true;
  firstRow_ = true;
}

void SnapshotWriter::RowFetched(const std::vector<data::Value>& row) {
  ledger_.RowFetched(row);
  identity_.RowFetched(row);
  if (!resultSetOpen_) throw std::logic_error("a row outside a result set");
  std::string& out = Out();
  if (!firstRow_) out += ",";
  firstRow_ = false;
  out += "[";
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i > 0) out += ",";
    AppendJsonValue(out, row[i], i < shapes_.size() ? shapes_[i] : ValueShape::kPlain);
  }
  out += "]";
  if (buffer_.size() >= kFlushSize) Flush();
}

void SnapshotWriter::ResultSetEnded() {
  ledger_.ResultSetEnded();
  identity_.ResultSetEnded();
  Out() += "]}";
  resultSetOpen_ = false;
}

void SnapshotWriter::ErrorRaised(const std::exception& error) {
  ledger_.ErrorRaised(error);
}

void SnapshotWriter::SectionInterrupted(std::string_view reason) {
  ledger_.SectionInterrupted(reason);
}

void SnapshotWriter::RunInterrupted(std::string_view reason) {
  ledger_.RunInterrupted(reason);
}

void SnapshotWriter::Finish(const data::DateTime& end, const nlohmann::json& findings) {
  if (!started_) throw std::logic_error("a snapshot finished before its run started");
  // A run stopped inside a result set leaves it open: its rows so far stand.
  if (resultSetOpen_) ResultSetEnded();
  CloseSection();
  nlohmann::json notOk = nlohmann::json::array();
  for (const SectionRecord& section : ledger_.Sections()) {
    if (section.Status() == SectionStatus::kOk) continue;
    notOk.push_back({{"heading", section.heading},
                     {"anchor", section.anchor},
                     {"status", StatusName(section.Status())},
                     {"reason", section.Reason()}});
  }
  nlohmann::json coverage = {
      {"sectionsExpected", ledger_.SectionsExpected()},
      {"sectionsReached", ledger_.Sections().size()},
      {"ok", ledger_.Count(SectionStatus::kOk)},
      {"empty", ledger_.Count(SectionStatus::kEmpty)},
      {"error", ledger_.Count(SectionStatus::kError)},
      {"skipped", ledger_.Count(SectionStatus::kSkipped)},
      {"interrupted", ledger_.Count(SectionStatus::kInterrupted)},
      {"exceptions", ledger_.Exceptions()},
      {"notOk", notOk},
  };
  const nlohmann::json interruption = ledger_.RunInterruption().empty()
                                          ? nlohmann::json(nullptr)
                                          : nlohmann::json(ledger_.RunInterruption());
  buffer_ += "]," + Field("server", Dump(identity_.ToJson())) + "," +
             Field("coverage", Dump(coverage)) + "," + Field("runInterrupted", Dump(interruption)) +
             ",\"findings\":";
  // Appended on its own: a long list is not copied by the joining.
  buffer_ += Dump(findings);
  buffer_ += "," + Field("endTime", JsonString(IsoLocalDateTime(end))) + "}\n";
  Flush();
  if (failure_) throw report::ReportWriteError(*failure_);
  file_->Commit();
  file_.reset();
}

}  // namespace quorvane::snapshot
