#include "data/row_set.h"

#include <string_view>

namespace quorvane::data {

namespace {

constexpr char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Compared as the server compares them: ASCII letters without regard to case.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

RowSet::RowSet(std::vector<Field> columns, std::shared_ptr<RowSource> source)
    : fields(std::move(columns)), source_(std::move(source)) {
  fetched_.resize(fields.size());
  sourceEnded_ = !source_->Fetch(fetched_);
}

void RowSet::Advance() {
  if (AtEnd()) return;
  if (!source_) {
    ++position_;
  } else {
    try {
      sourceEnded_ = !source_->Fetch(fetched_);
    } catch (const DatabaseError& error) {
      sourceEnded_ = true;
      error_ = error;
    }
  }
  if (observer_ && !AtEnd()) observer_(Row());
}

void RowSet::Observe(RowObserver onRow) {
  observer_ = std::move(onRow);
  if (observer_ && !AtEnd()) observer_(Row());
}

std::optional<DatabaseError> RowSet::TakeError() {
  std::optional<DatabaseError> error = std::move(error_);
  error_.reset();
  return error;
}

void MakeColumnNamesUnique(std::vector<Field>& fields) {
  // Row sets have a handful of columns: comparing with each earlier name beats any index.
  auto used = [&](std::string_view name, std::size_t before) {
    for (std::size_t j = 0; j < before; ++j) {
      if (SameName(fields[j].name, name)) return true;
    }
    return false;
  };
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::string& name = fields[i].name;
    if (name.empty()) {
      name = "COLUMN" + std::to_string(i + 1);
    }
    if (used(name, i)) {
      for (int n = 1;; ++n) {
        std::string candidate = name + "_" + std::to_string(n);
        if (!used(candidate, i)) {
          name = std::move(candidate);
          break;
        }
      }
    }
  }
}

}  // namespace quorvane::data
