#include "findings/facts.h"

#include "report/text.h"

#include <charconv>

namespace quorvane::findings {

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

}  // namespace

RowFacts& RowFacts::operator=(const RowFacts& other) {
  if (this == &other) return *this;
  columns_ = other.columns_;
  kept_ = other.kept_;
  values_ = other.values_ == &other.kept_ ? &kept_ : other.values_;
  return *this;
}

RowFacts RowFacts::Keep() const {
  RowFacts kept(columns_, *values_);
  kept.kept_ = *values_;
  kept.values_ = &kept.kept_;
  return kept;
}

const data::Value* RowFacts::Find(std::string_view column) const {
  const std::vector<std::string>& columns = *columns_;
  const std::vector<data::Value>& values = *values_;
  for (std::size_t i = 0; i < columns.size() && i < values.size(); ++i) {
    if (report::SameAsciiName(columns[i], column)) return values[i].isNull ? nullptr : &values[i];
  }
  return nullptr;
}

std::string RowFacts::Text(std::string_view column) const {
  const data::Value* value = Find(column);
  return value ? std::string(Trimmed(value->text)) : std::string();
}

std::optional<std::int64_t> RowFacts::Integer(std::string_view column) const {
  const data::Value* value = Find(column);
  if (!value) return std::nullopt;
  if (const auto* number = std::get_if<std::int64_t>(&value->native)) return *number;
  const std::string_view text = Trimmed(value->text);
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return number;
}

std::optional<int> MajorVersion(std::string_view productVersion) {
  const std::string_view text = Trimmed(productVersion);
  int major = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), major);
  if (error != std::errc() || end == text.data() ||
      (end != text.data() + text.size() && *end != '.')) {
    return std::nullopt;
  }
  return major;
}

}  // namespace quorvane::findings
