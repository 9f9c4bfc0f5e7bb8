// How fast the report turns rows into HTML, apart from any driver: a table section over an
// in-memory row set of 10 mixed columns, written into the report buffer and counted, not kept.
// The rate is HTML bytes per CPU second.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "data/connection.h"
#include "report/query_runner.h"
#include "report/report_buffer.h"
#include "report/report_host.h"

namespace {

using namespace quorvane;

// Hands out copies of a few prepared rows, as a driver would overwrite the row's values.
class RepeatedRows : public data::RowSource {
 public:
  RepeatedRows(std::size_t count, const std::vector<std::vector<data::Value>>& samples)
      : remaining_(count), samples_(samples) {}

  bool Fetch(std::vector<data::Value>& row) override {
    if (remaining_ == 0) return false;
    const auto& sample = samples_[remaining_-- % samples_.size()];
    for (std::size_t c = 0; c < row.size(); ++c) {
      row[c].isNull = sample[c].isNull;
      row[c].text.assign(sample[c].text);
      row[c].native = sample[c].native;
    }
    return true;
  }

 private:
  std::size_t remaining_;
  const std::vector<std::vector<data::Value>>& samples_;
};

class OneRowSet : public data::ResultStream {
 public:
  explicit OneRowSet(data::RowSetPtr rows) : rows_(std::move(rows)) {}
  std::optional<data::Result> Next() override {
    if (!rows_) return std::nullopt;
    return data::Result{std::exchange(rows_, nullptr)};
  }

 private:
  data::RowSetPtr rows_;
};

// Answers every batch with one row set of `rows` rows.
class InMemoryConnection : public data::Connection {
 public:
  explicit InMemoryConnection(std::size_t rows) : rows_(rows) {
    for (int i = 0; i < 16; ++i) {
      samples_.push_back({
          data::Value::Integer(1000 + i),
          data::Value::Text("Nightly backup of database Sales" + std::to_string(i)),
          data::Value::Integer(i % 3),
          data::Value::Text("(Job outcome)"),
          data::Value::Text("The job succeeded.  The Job was invoked by Schedule 7 (Nightly). "
                            "The last step to run was step 1 <Backup & verify>."),
          data::Value::Integer(1),
          data::Value::Text("2026-12-0" + std::to_string(1 + i % 9)),
          data::Value::Text("02:00:0" + std::to_string(i % 10)),
          data::Value::Integer(125 + i),
          data::Value::Null(),
      });
    }
    for (const char* name : {"instance_id", "job_name", "step_id", "step_name", "message",
                             "run_status", "run_date", "run_time", "run_duration", "server"}) {
      fields_.push_back(data::Field{name, data::FieldKind::ftWideString});
    }
  }

  bool Connected() const override { return true; }
  void Close() override {}
  std::unique_ptr<data::ResultStream> Execute(const std::string&, int) override {
    return std::make_unique<OneRowSet>(
        std::make_shared<data::RowSet>(fields_, std::make_shared<RepeatedRows>(rows_, samples_)));
  }

 protected:
  void Connect() override {}

 private:
  std::size_t rows_;
  std::vector<data::Field> fields_;
  std::vector<std::vector<data::Value>> samples_;
};

class QuietHost : public report::ReportHost {
 public:
  void ProcessEvents() override {}
  void SetRunControlsEnabled(bool) override {}
  void SetStatusText(const std::string&) override {}
  void StartProgress() override {}
  void StopProgress() override {}
  void RestoreDefaultCursor() override {}
  void ShowWarning(const std::string&, const std::string&) override {}
  void Navigate(const std::string&) override {}
  bool AllowCmdShell() const override { return true; }
  bool AllowOACreate() const override { return true; }
  bool IgnoreReplicationSection() const override { return false; }
  int JobHistory() const override { return 100; }
  int JobHistoryLimit() const override { return 20; }
};

class CountingSink : public report::ReportBuffer::Sink {
 public:
  void Cleared() override {}
  void Write(std::string_view text) override { bytes += text.size(); }
  std::size_t bytes = 0;
};

void BM_TableSection(benchmark::State& state) {
  const auto rows = static_cast<std::size_t>(state.range(0));
  InMemoryConnection connection(rows);
  QuietHost host;
  report::ReportBuffer buffer;
  buffer.KeepEntries(false);
  CountingSink sink;
  buffer.SetSink(&sink);
  report::QueryRunner runner(connection, buffer, host);
  for (auto _ : state) runner.TableSection("select * from history");
  state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
  state.counters["html_per_run"] =
      static_cast<double>(sink.bytes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TableSection)->Arg(1'000)->Arg(200'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
