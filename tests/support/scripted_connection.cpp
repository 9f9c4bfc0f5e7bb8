#include "support/scripted_connection.h"

#include "data/database_error.h"

namespace quorvane::testing {

namespace {

class ScriptedStream : public data::ResultStream {
 public:
  explicit ScriptedStream(Script steps, std::size_t start)
      : steps_(std::move(steps)), next_(start) {}

  std::optional<data::Result> Next() override {
    if (next_ >= steps_.size()) return std::nullopt;
    const ScriptStep& step = steps_[next_++];
    if (const auto* error = std::get_if<ScriptedError>(&step)) {
      throw data::DatabaseError(error->message, error->number, error->state);
    }
    if (const auto* count = std::get_if<data::RowCount>(&step)) return data::Result{*count};
    return data::Result{std::make_shared<data::RowSet>(std::get<data::RowSet>(step))};
  }

 private:
  Script steps_;
  std::size_t next_;
};

class RowsThenErrorSource : public data::RowSource {
 public:
  RowsThenErrorSource(std::vector<std::vector<data::Value>> rows, ScriptedError error)
      : rows_(std::move(rows)), error_(std::move(error)) {}
  bool Fetch(std::vector<data::Value>& row) override {
    if (next_ == rows_.size())
      throw data::DatabaseError(error_.message, error_.number, error_.state);
    row = rows_[next_++];
    return true;
  }

 private:
  std::vector<std::vector<data::Value>> rows_;
  ScriptedError error_;
  std::size_t next_ = 0;
};

}  // namespace

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

void ScriptedConnection::OnLines(const std::vector<std::string>& lines, Script steps) {
  On(JoinLines(lines), std::move(steps));
}

void ScriptedConnection::Connect() {
  ++openCount_;
  if (connectFailure_) {
    std::string message = *connectFailure_;
    connectFailure_.reset();
    throw data::DatabaseError(message, 18456);
  }
  connected_ = true;
}

std::unique_ptr<data::ResultStream> ScriptedConnection::Execute(const std::string& batch,
                                                                int /*timeoutSeconds*/) {
  if (!connected_) throw data::DatabaseError("Connection is closed");
  batches_.push_back(batch);
  if (hook_) hook_(batch);
  Script steps;
  if (auto it = scripts_.find(batch); it != scripts_.end()) {
    steps = it->second;
  } else if (default_) {
    steps = *default_;
  } else {
    std::string first = batch.substr(0, batch.find_first_of("\r\n"));
    throw data::DatabaseError("Could not find stored procedure '" + first + "'.", 2812);
  }
  if (!steps.empty()) {
    if (const auto* error = std::get_if<ScriptedError>(&steps.front())) {
      throw data::DatabaseError(error->message, error->number, error->state);
    }
  }
  return std::make_unique<ScriptedStream>(std::move(steps), 0);
}

data::RowSet Rows(std::vector<data::Field> fields, std::vector<std::vector<data::Value>> rows) {
  return data::RowSet{std::move(fields), std::move(rows)};
}

data::RowSet TextRows(const std::vector<std::string>& names,
                      const std::vector<std::vector<std::string>>& rows) {
  data::RowSet set;
  for (const auto& name : names) {
    set.fields.push_back({name, data::FieldKind::ftString, "nvarchar(4000)"});
  }
  for (const auto& row : rows) {
    std::vector<data::Value> values;
    for (const auto& text : row) values.push_back(data::Value::Text(text));
    set.rows.push_back(std::move(values));
  }
  return set;
}

data::RowSet RowsThenError(const data::RowSet& held, const ScriptedError& error) {
  return data::RowSet(held.fields, std::make_shared<RowsThenErrorSource>(held.rows, error));
}

data::RowSet Scalar(const std::string& text) {
  return TextRows({""}, {{text}});
}

data::RowSet NoRows(const std::vector<std::string>& names) {
  return TextRows(names, {});
}

}  // namespace quorvane::testing
