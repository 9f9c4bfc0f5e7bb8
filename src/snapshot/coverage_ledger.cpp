#include "snapshot/coverage_ledger.h"

#include <ostream>
#include <set>

#include "data/database_error.h"

namespace quorvane::snapshot {

std::string_view StatusName(SectionStatus status) {
  switch (status) {
    case SectionStatus::kOk:
      return "ok";
    case SectionStatus::kEmpty:
      return "empty";
    case SectionStatus::kError:
      return "error";
    case SectionStatus::kSkipped:
      return "skipped";
    case SectionStatus::kInterrupted:
      return "interrupted";
  }
  return "ok";
}

SectionStatus SectionRecord::Status() const {
  if (!interruption.empty()) return SectionStatus::kInterrupted;
  if (!errors.empty()) return SectionStatus::kError;
  // A section that still ran queries was only partly switched off; what it got decides.
  if (!skippedBy.empty() && queries == 0) return SectionStatus::kSkipped;
  if (rows == 0) return SectionStatus::kEmpty;
  return SectionStatus::kOk;
}

std::string SectionRecord::Reason() const {
  switch (Status()) {
    case SectionStatus::kInterrupted:
      return interruption;
    case SectionStatus::kError:
      return errors.front().message;
    case SectionStatus::kSkipped:
      return skippedBy.front() + " is off";
    case SectionStatus::kEmpty:
      return "the server returned no rows";
    case SectionStatus::kOk:
      break;
  }
  return {};
}

void CoverageLedger::SectionStarted(std::string_view heading, std::string_view anchor) {
  if (sections_.empty()) {
    sections_.push_back(std::move(preamble_));
    preamble_ = {};
  } else {
    sections_.emplace_back();
  }
  sections_.back().heading = heading;
  sections_.back().anchor = anchor;
}

void CoverageLedger::SectionSkipped(std::string_view setting) {
  Current().skippedBy.emplace_back(setting);
}

void CoverageLedger::ErrorRaised(const std::exception& error) {
  ErrorRecord record{0, {}, error.what()};
  if (const auto* database = dynamic_cast<const data::DatabaseError*>(&error)) {
    record.number = database->number();
    record.sqlState = database->state();
    record.detail = database->detail();
  }
  Current().errors.push_back(std::move(record));
}

void CoverageLedger::SectionInterrupted(std::string_view reason) {
  SectionRecord& section = Current();
  if (section.interruption.empty()) section.interruption = reason;
}

void CoverageLedger::RunInterrupted(std::string_view reason) {
  runInterruption_ = reason;
  // A later reason (the run stopped) says more than an earlier lost link that was overcome.
  Current().interruption = reason;
}

int CoverageLedger::Count(SectionStatus status) const {
  int count = 0;
  for (const SectionRecord& section : sections_) count += section.Status() == status ? 1 : 0;
  return count;
}

int CoverageLedger::Exceptions() const {
  std::size_t count = preamble_.errors.size();
  for (const SectionRecord& section : sections_) count += section.errors.size();
  return static_cast<int>(count);
}

namespace {

// Control characters as their Unicode pictures (U+2400 to U+241F, DEL as U+2421), in UTF-8.
std::string TerminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      const unsigned picture = u == 0x7F ? 0x2421 : 0x2400 + u;
      out += static_cast<char>(0xE0 | (picture >> 12));
      out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (picture & 0x3F));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void PrintLedger(std::ostream& out, const CoverageLedger& ledger) {
  bool headed = false;
  for (const SectionRecord& section : ledger.Sections()) {
    const SectionStatus status = section.Status();
    if (status == SectionStatus::kOk) continue;
    if (!headed) out << "Sections not ok:\n";
    headed = true;
    out << "  " << TerminalSafe(section.heading) << ": " << StatusName(status) << " ("
        << TerminalSafe(section.Reason()) << ")\n";
    // The first error is the reason; every other refusal of the section is named as well, once.
    std::set<std::string_view> said;
    for (const ErrorRecord& error : section.errors) {
      if (said.insert(error.message).second && said.size() > 1) {
        out << "    and: " << TerminalSafe(error.message) << "\n";
      }
    }
  }
  const auto reached = static_cast<int>(ledger.Sections().size());
  out << "Sections: " << reached << " of " << ledger.SectionsExpected() << " reached; "
      << ledger.Count(SectionStatus::kOk) << " ok, " << ledger.Count(SectionStatus::kEmpty)
      << " empty, " << ledger.Count(SectionStatus::kError) << " error, "
      << ledger.Count(SectionStatus::kSkipped) << " skipped, "
      << ledger.Count(SectionStatus::kInterrupted) << " interrupted.\n";
  if (reached < ledger.SectionsExpected() && !ledger.RunInterruption().empty()) {
    out << "  The run ended early: " << TerminalSafe(ledger.RunInterruption()) << "\n";
  }
}

}  // namespace quorvane::snapshot
