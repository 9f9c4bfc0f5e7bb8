#include "report/report_buffer.h"

namespace quorvane::report {

void ReportBuffer::Load(std::string_view text) {
  entries_.clear();
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      entries_.emplace_back(text.substr(start));
      break;
    }
    entries_.emplace_back(text.substr(start, end - start));
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
