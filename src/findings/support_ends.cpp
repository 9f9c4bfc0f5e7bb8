#include "findings/support_ends.h"

#include <charconv>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace quorvane::resources {
std::string_view ExtendedSupport();
}

namespace quorvane::findings {

namespace {

struct Entry {
  int major = 0;
  SupportEnd end;
};

std::vector<Entry> ParseTable(std::string_view text) {
  std::vector<Entry> entries;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t first = line.find(',');
    const std::size_t last = line.rfind(',');
    Entry entry;
    const auto [end, error] = std::from_chars(line.data(), line.data() + first, entry.major);
    const std::optional<data::DateTime> day =
        first == last ? std::nullopt : data::DateTime::FromIsoText(line.substr(last + 1));
    if (error != std::errc() || end != line.data() + first || !day) {
      throw std::logic_error("the extended support table has a bad line: " + std::string(line));
    }
    entry.end.product = std::string(line.substr(first + 1, last - first - 1));
    entry.end.lastDayText = std::string(line.substr(last + 1));
    entry.end.lastDay = *day;
    entry.end.lastDay.hour = 23;
    entry.end.lastDay.minute = 59;
    entry.end.lastDay.second = 59;
    entry.end.lastDay.millisecond = 999;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

std::optional<SupportEnd> ExtendedSupportEnd(int majorVersion) {
  static const std::vector<Entry> kTable = ParseTable(resources::ExtendedSupport());
  for (const Entry& entry : kTable) {
    if (entry.major == majorVersion) return entry.end;
  }
  return std::nullopt;
}

}  // namespace quorvane::findings
