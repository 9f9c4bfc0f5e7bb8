#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::report {

// The report's HTML while it is built: an ordered list of entries. Its text is every entry
// followed by CR LF; an entry may itself hold bare LF characters.
class ReportBuffer {
 public:
  void Clear() { entries_.clear(); }
  void Append(std::string entry) { entries_.push_back(std::move(entry)); }
  // Replaces the content with the lines of `text`, split at CR LF (a final CR LF adds no line).
  void Load(std::string_view text);

  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  std::string Text() const;

 private:
  std::vector<std::string> entries_;
};

}  // namespace quorvane::report
