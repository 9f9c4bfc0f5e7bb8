#include "report/report_buffer.h"

namespace quorvane::report {

void ReportBuffer::Clear() {
  entries_.clear();
  if (observer_) observer_->Cleared();
  if (sink_) sink_->Cleared();
}

void ReportBuffer::Append(std::string entry) {
  if (keep_) {
    entries_.push_back(std::move(entry));
    Tell(entries_.back());
  } else {
    Tell(entry);
  }
}

void ReportBuffer::Tell(std::string_view entry) {
  if (observer_) observer_->Appended(entry);
  if (sink_) sink_->Appended(entry);
}

void ReportBuffer::Load(std::string_view text) {
  Clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
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
    text += "\r\n";
  }
  return text;
}

}  // namespace quorvane::report
