// How fast the ODBC layer reads a large result through unixODBC and FreeTDS from the simulated
// server: 100,000 rows of 10 mixed columns per iteration, each row set read in full.
#include <benchmark/benchmark.h>

#include <sqlserver_sim/server.h>
#include <time.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "data/odbc/odbc_connection.h"

namespace {

using json = nlohmann::json;
using quorvane::data::OdbcConnection;
using quorvane::data::RowSetPtr;

constexpr int kRows = 100'000;
constexpr const char* kBatch = "select * from bench_rows";

std::string Scenario() {
  const char* types[][2] = {{"id", "int"},
                            {"big", "bigint"},
                            {"name", "nvarchar(64)"},
                            {"code", "varchar(16)"},
                            {"created", "datetime"},
                            {"amount", "decimal(18,4)"},
                            {"ratio", "float"},
                            {"active", "bit"},
                            {"uid", "uniqueidentifier"},
                            {"note", "nvarchar(200)"}};
  json columns = json::array();
  for (const auto& t : types) columns.push_back({{"name", t[0]}, {"type", t[1]}});
  json data = json::array();
  char guid[40];
  char when[32];
  for (int i = 0; i < kRows; ++i) {
    std::snprintf(guid, sizeof guid, "%08X-1234-5678-9ABC-%012X", i, i * 7);
    std::snprintf(when, sizeof when, "20%02d-%02d-%02d %02d:%02d:%02d.%03d", i % 100, i % 12 + 1,
                  i % 28 + 1, i % 24, i % 60, (i * 7) % 60, (i * 10) % 1000);
    data.push_back(json::array(
        {i, static_cast<std::int64_t>(i) * 1'000'003, "database_" + std::to_string(i) + "_名前",
         "C" + std::to_string(i % 9973), when, std::to_string(i) + "." + std::to_string(i % 10000),
         i / 7.0, i % 2 == 0, guid,
         i % 10 == 0 ? json(nullptr)
                     : json("Note for row " + std::to_string(i) + ": some ordinary text")}));
  }
  json scenario = {
      {"server", {{"name", "BENCH"}, {"version", "15.0.2000.5"}}},
      {"logins", json::array({{{"name", "sa"}, {"password", "secret"}}})},
      {"batches",
       json::array(
           {{{"sql", kBatch},
             {"results", json::array({{{"rows", {{"columns", columns}, {"data", data}}}}})}}})}};
  return scenario.dump();
}

// CPU time of the calling thread only: the simulator runs on its own threads in this process.
double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void BM_OdbcReadLargeResult(benchmark::State& state) {
  static sqlsim::Server server(Scenario());
  static const bool started = (server.Start("127.0.0.1", 0), true);
  (void)started;

  OdbcConnection connection;
  connection.SetConnectionString(
      "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(server.Port()) +
      ";TDS_Version=7.4;UID=sa;PWD=secret;Encryption=off");
  connection.Open();

  std::int64_t rows = 0;
  std::int64_t textBytes = 0;
  double clientCpu = 0;
  for (auto _ : state) {
    const double cpuStart = ThreadCpuSeconds();
    auto stream = connection.Execute(kBatch, 60);
    auto result = stream->Next();
    const RowSetPtr set = std::get<RowSetPtr>(*result);
    rows += static_cast<std::int64_t>(set->rows.size());
    clientCpu += ThreadCpuSeconds() - cpuStart;
    state.PauseTiming();
    for (const auto& row : set->rows) {
      for (const auto& value : row) textBytes += static_cast<std::int64_t>(value.text.size());
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(set);
  }
  if (rows != static_cast<std::int64_t>(kRows) * state.iterations()) {
    state.SkipWithError("a row set came back incomplete");
  }
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  // Megabytes (10^6) of UTF-8 display text delivered to the caller.
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(textBytes) / 1e6, benchmark::Counter::kIsRate);
  // What the reading thread alone could sustain (driver manager, driver and this layer), were
  // the server never the bottleneck.
  if (clientCpu > 0) {
    state.counters["client_cpu_rows/s"] = static_cast<double>(rows) / clientCpu;
    state.counters["client_cpu_MB/s"] = static_cast<double>(textBytes) / 1e6 / clientCpu;
  }
}
BENCHMARK(BM_OdbcReadLargeResult)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
