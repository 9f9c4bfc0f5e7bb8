#include "report/report_buffer.h"

#include <stdexcept>

namespace quorvane::report {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

void ReportBuffer::Clear() {
  entries_.clear();
  openEntry_.clear();
  entryOpen_ = false;
  if (observer_) observer_->Cleared();
  if (sink_) sink_->Cleared();
}

void ReportBuffer::Append(std::string entry) {
  if (entryOpen_) throw std::logic_error("report entry appended while another is open");
  if (observer_) observer_->Appended(entry);
  if (sink_) {
    sink_->Write(entry);
    sink_->Write(kLineEnd);
  }
  if (keep_) entries_.push_back(std::move(entry));
}

void ReportBuffer::AppendPart(std::string_view part) {
  entryOpen_ = true;
  if (sink_) sink_->Write(part);
  if (HoldsEntries()) openEntry_ += part;
}

void ReportBuffer::EndEntry() {
  if (!entryOpen_) return;
  entryOpen_ = false;
  if (sink_) sink_->Write(kLineEnd);
  if (observer_) observer_->Appended(openEntry_);
  if (keep_) entries_.push_back(std::move(openEntry_));
  openEntry_.clear();
}

void ReportBuffer::Load(std::string_view text) {
  Clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(kLineEnd, start);
    if (end == std::string_view::npos) end = text.size();
    Append(std::string(text.substr(start, end - start)));
    start = end + 2;
  }
}

std::string ReportBuffer::Text() const {
  std::size_t size = 0;
  for (const auto& e : entries_) size += e.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& e : entries_) {
    text += e;
    text += kLineEnd;
  }
  return text;
}

}  // namespace quorvane::report
