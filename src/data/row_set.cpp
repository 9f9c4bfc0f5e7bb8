#include "data/row_set.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace quorvane::data {

namespace {

std::string Folded(const std::string& name) {
  std::string out = name;
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
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
    return;
  }
  try {
    sourceEnded_ = !source_->Fetch(fetched_);
  } catch (const DatabaseError& error) {
    sourceEnded_ = true;
    error_ = error;
  }
}

std::optional<DatabaseError> RowSet::TakeError() {
  std::optional<DatabaseError> error = std::move(error_);
  error_.reset();
  return error;
}

void MakeColumnNamesUnique(std::vector<Field>& fields) {
  std::set<std::string> used;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::string& name = fields[i].name;
    if (name.empty()) {
      name = "COLUMN" + std::to_string(i + 1);
    }
    if (used.contains(Folded(name))) {
      for (int n = 1;; ++n) {
        std::string candidate = name + "_" + std::to_string(n);
        if (!used.contains(Folded(candidate))) {
          name = std::move(candidate);
          break;
        }
      }
    }
    used.insert(Folded(name));
  }
}

}  // namespace quorvane::data
