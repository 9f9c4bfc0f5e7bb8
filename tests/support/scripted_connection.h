#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "data/connection.h"
#include "data/row_set.h"

namespace quorvane::testing {

// A statement of a scripted batch that fails when the client reaches it.
struct ScriptedError {
  ScriptedError(std::string text, int code = 0, std::string sqlState = {})
      : message(std::move(text)), number(code), state(std::move(sqlState)) {}
  std::string message;
  int number = 0;
  std::string state;  // "08S01": the link was lost
};

// What a scripted batch returns, in order: row sets, row counts and errors. An error as the first
// step fails the execute itself, as SQL Server drivers report it; later errors are raised when
// the client asks for the next result, and the results after them stay reachable.
using ScriptStep = std::variant<data::RowSet, data::RowCount, ScriptedError>;
using Script = std::vector<ScriptStep>;

// A scripted in-memory server behind the database interface: batch text -> results. It records
// every batch it received, in order.
class ScriptedConnection : public data::Connection {
 public:
  // Answers the exact batch text (lines joined by CR LF) with `steps`.
  void On(const std::string& batch, Script steps) { scripts_[batch] = std::move(steps); }
  // Answers batches built from `lines` (joined by CR LF).
  void OnLines(const std::vector<std::string>& lines, Script steps);
  // The answer for every batch without a script of its own. Without one, an unknown batch fails
  // with SQL Server's "Could not find stored procedure" error.
  void SetDefault(Script steps) { default_ = std::move(steps); }
  // Makes the next Open fail with `message`.
  void FailConnect(std::string message) { connectFailure_ = std::move(message); }
  // Called with every batch before it is answered (to change settings mid-run, say).
  void OnExecute(std::function<void(const std::string&)> hook) { hook_ = std::move(hook); }

  const std::vector<std::string>& Batches() const { return batches_; }
  int OpenCount() const { return openCount_; }

  bool Connected() const override { return connected_; }
  void Close() override { connected_ = false; }
  std::unique_ptr<data::ResultStream> Execute(const std::string& batch,
                                              int timeoutSeconds) override;

 protected:
  void Connect() override;

 private:
  std::map<std::string, Script> scripts_;
  std::optional<Script> default_;
  std::optional<std::string> connectFailure_;
  std::function<void(const std::string&)> hook_;
  std::vector<std::string> batches_;
  bool connected_ = false;
  int openCount_ = 0;
};

// Builders for scripts. Columns are given as "name" (text column) or with a kind.
data::RowSet Rows(std::vector<data::Field> fields, std::vector<std::vector<data::Value>> rows);
data::RowSet TextRows(const std::vector<std::string>& names,
                      const std::vector<std::vector<std::string>>& rows);
// One column, one row: what "select <something>" returns.
data::RowSet Scalar(const std::string& text);
// `held`'s rows handed out one at a time, as a driver fetches them, then `error` where the next
// row would be.
data::RowSet RowsThenError(const data::RowSet& held, const ScriptedError& error);
// A row set with columns but no rows.
data::RowSet NoRows(const std::vector<std::string>& names);

std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace quorvane::testing
