#include "findings_test_support.h"

#include <stdexcept>

namespace quorvane::findings::testing {

void Feed(FindingsCollector& collector, const std::vector<Batch>& batches,
          data::DateTime reportDate) {
  collector.RunStarted(reportDate);
  for (const Batch& batch : batches) {
    if (!batch.section.empty()) collector.SectionStarted(batch.section, batch.section);
    collector.QueryStarted(batch.command);
    for (std::size_t i = 0; i < batch.sets.size(); ++i) {
      collector.ResultSetStarted(batch.sets[i].fields);
      for (const auto& row : batch.sets[i].rows) collector.RowFetched(row);
      collector.ResultSetEnded();
      if (batch.errorAfterSet == static_cast<int>(i)) {
        collector.ErrorRaised(std::runtime_error("Database 'Old' cannot be opened."));
      }
    }
  }
}

std::vector<Finding> FindingsOf(const std::vector<Batch>& batches, data::DateTime reportDate) {
  FindingsCollector collector;
  Feed(collector, batches, reportDate);
  return collector.Findings();
}

Batch Version(const char* productVersion) {
  return {"GeneralInformation",
          "Select SERVERPROPERTY('ProductVersion')",
          {{{{"", data::FieldKind::ftVariant}}, {{V(productVersion)}}}}};
}

Batch Configuration(std::vector<std::vector<data::Value>> options) {
  return {"SQLServerInformation",
          "exec master..sp_configure",
          {{{{"name", data::FieldKind::ftWideString},
             {"minimum", data::FieldKind::ftInteger},
             {"maximum", data::FieldKind::ftInteger},
             {"config_value", data::FieldKind::ftInteger},
             {"run_value", data::FieldKind::ftInteger}},
            std::move(options)}}};
}

std::vector<data::Value> Option(const char* name, std::int64_t config, std::int64_t run) {
  return {V(name), V(std::int64_t{0}), V(std::int64_t{2147483647}), V(config), V(run)};
}

Batch Databases(std::vector<std::vector<data::Value>> databases) {
  return {"Databases",
          "exec master..sp_helpdb",
          {{{{"name", data::FieldKind::ftWideString},
             {"db_size", data::FieldKind::ftWideString},
             {"owner", data::FieldKind::ftWideString},
             {"dbid", data::FieldKind::ftSmallint},
             {"created", data::FieldKind::ftWideString},
             {"status", data::FieldKind::ftWideString},
             {"compatibility_level", data::FieldKind::ftByte}},
            std::move(databases)}}};
}

std::vector<data::Value> Database(const char* name, std::int64_t dbid, const char* status,
                                  std::int64_t level) {
  return {V(name), V("   8.00 MB"), V("sa"), V(dbid), V("Jan  1 2020"), V(status), V(level)};
}

std::vector<Set> DatabaseFiles(const char* database, std::vector<std::vector<data::Value>> files) {
  return {{{{"name", data::FieldKind::ftWideString},
            {"fileid", data::FieldKind::ftSmallint},
            {"filename", data::FieldKind::ftFixedWideChar},
            {"filegroup", data::FieldKind::ftWideString},
            {"size", data::FieldKind::ftWideString},
            {"maxsize", data::FieldKind::ftWideString},
            {"growth", data::FieldKind::ftWideString},
            {"usage", data::FieldKind::ftString}},
           std::move(files)},
          {{{"database_name", data::FieldKind::ftWideString},
            {"database_size", data::FieldKind::ftString},
            {"unallocated space", data::FieldKind::ftString}},
           {{V(database), V("8.00 MB"), V("1.00 MB")}}},
          {{{"reserved", data::FieldKind::ftString}, {"data", data::FieldKind::ftString}},
           {{V("1 KB"), V("1 KB")}}}};
}

std::vector<data::Value> File(const char* name, const char* path, const char* size,
                              const char* growth, const char* usage) {
  return {V(name), V(std::int64_t{1}), V(path),   V("PRIMARY"),
          V(size), V("Unlimited"),     V(growth), V(usage)};
}

Batch Walk(std::vector<std::vector<Set>> databases, int errorAfterSet) {
  Batch batch{{},
              "EXEC sp_MSForEachDB 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;' ",
              {},
              errorAfterSet};
  for (auto& sets : databases) {
    for (Set& set : sets) batch.sets.push_back(std::move(set));
  }
  return batch;
}

Batch Disks(std::vector<std::vector<data::Value>> drives) {
  return {"GeneralInformation",
          "SET NOCOUNT ON\r\nDECLARE @hr int",
          {{{{"Drive", data::FieldKind::ftFixedChar},
             {"Total(MB)", data::FieldKind::ftInteger},
             {"Free(MB)", data::FieldKind::ftInteger},
             {"Free(%)", data::FieldKind::ftInteger}},
            std::move(drives)}}};
}

std::vector<data::Value> Drive(const char* letter, std::int64_t totalMb, std::int64_t freeMb,
                               std::int64_t percent) {
  return {V(letter), V(totalMb), V(freeMb), V(percent)};
}

Batch Jobs(std::vector<std::vector<data::Value>> jobs) {
  return {"SQLJobs",
          "DECLARE @is_sysadmin INT",
          {{{{"name", data::FieldKind::ftWideString},
             {"enabled", data::FieldKind::ftByte},
             {"last run date", data::FieldKind::ftString},
             {"last run time", data::FieldKind::ftString},
             {"last_run_outcome", data::FieldKind::ftInteger}},
            std::move(jobs)}}};
}

std::vector<data::Value> Job(const char* name, std::int64_t enabled, std::int64_t outcome) {
  return {V(name), V(enabled), V("09/12/2026"), V("05:30:00"), V(outcome)};
}

}  // namespace quorvane::findings::testing
