#pragma once

#include <string>
#include <vector>

#include "data/date_time.h"
#include "data/row_set.h"
#include "findings/findings_collector.h"

// Runs of in-memory results through the findings collector, as a report run tells it of them.
namespace quorvane::findings::testing {

struct Set {
  std::vector<data::Field> fields;
  std::vector<std::vector<data::Value>> rows;
};

struct Batch {
  std::string section;  // the section's anchor; empty: the one before
  std::string command;
  std::vector<Set> sets;
  int errorAfterSet = -1;  // an error raised after this set (0-based), before the next one
};

inline data::Value V(const char* text) {
  return data::Value::Text(text);
}
inline data::Value V(std::int64_t number) {
  return data::Value::Integer(number);
}

inline data::DateTime Day(int year, int month, int day) {
  return data::DateTime{year, month, day, 10, 0, 0, 0};
}

void Feed(FindingsCollector& collector, const std::vector<Batch>& batches,
          data::DateTime reportDate = Day(2026, 12, 10));
std::vector<Finding> FindingsOf(const std::vector<Batch>& batches,
                                data::DateTime reportDate = Day(2026, 12, 10));

// The results of the report that the rules read, one row each unless given more.
Batch Version(const char* productVersion);
Batch Configuration(std::vector<std::vector<data::Value>> options);
std::vector<data::Value> Option(const char* name, std::int64_t config, std::int64_t run);
Batch Databases(std::vector<std::vector<data::Value>> databases);
std::vector<data::Value> Database(const char* name, std::int64_t dbid, const char* status,
                                  std::int64_t level = 150);
// One database's part of the per-database walk: its files, then sp_spaceused's two sets.
std::vector<Set> DatabaseFiles(const char* database, std::vector<std::vector<data::Value>> files);
std::vector<data::Value> File(const char* name, const char* path, const char* size,
                              const char* growth, const char* usage);
Batch Walk(std::vector<std::vector<Set>> databases, int errorAfterSet = -1);
Batch Disks(std::vector<std::vector<data::Value>> drives);
std::vector<data::Value> Drive(const char* letter, std::int64_t totalMb, std::int64_t freeMb,
                               std::int64_t percent);
Batch Jobs(std::vector<std::vector<data::Value>> jobs);
std::vector<data::Value> Job(const char* name, std::int64_t enabled, std::int64_t outcome);

}  // namespace quorvane::findings::testing
