#include "findings/findings_collector.h"

#include <algorithm>

#include "findings/rules.h"
#include "report/text.h"

namespace quorvane::findings {

namespace {

bool HasColumns(const std::vector<std::string>& columns,
                std::initializer_list<std::string_view> wanted) {
  return std::all_of(wanted.begin(), wanted.end(), [&](std::string_view name) {
    return std::find(columns.begin(), columns.end(), name) != columns.end();
  });
}

// Which result the rules read this is, by its batch and its (folded) columns.
std::optional<Source> SourceOf(const std::string& command,
                               const std::vector<std::string>& columns) {
  const auto has = [&](std::string_view part) { return command.find(part) != std::string::npos; };
  if (has("sp_configure") && HasColumns(columns, {"name", "config_value", "run_value"})) {
    return Source::kConfiguration;
  }
  if (has("sp_helpdb") && HasColumns(columns, {"name", "dbid", "status"})) {
    return Source::kDatabases;
  }
  if (has("sp_helpfile") && HasColumns(columns, {"name", "filename", "size", "growth", "usage"})) {
    return Source::kDatabaseFiles;
  }
  if (HasColumns(columns, {"drive", "free(%)"})) return Source::kDisks;
  if (HasColumns(columns, {"name", "enabled", "last_run_outcome"})) return Source::kJobs;
  if (has("serverproperty('productversion')") && !columns.empty()) return Source::kVersion;
  return std::nullopt;
}

}  // namespace

void FindingsCollector::RunStarted(const data::DateTime& start) {
  *this = FindingsCollector();
  reportDate_ = start;
}

void FindingsCollector::SectionStarted(std::string_view heading, std::string_view anchor) {
  Commit();
  files_.reset();
  // What came before the first heading counts for the first section, as in the snapshot.
  if (anySection_) resultSets_ = 0;
  anySection_ = true;
  anchor_ = anchor;
  headings_.emplace(std::string(anchor), std::string(heading));
}

void FindingsCollector::QueryStarted(std::string_view command) {
  Commit();
  files_.reset();
  command_ = report::AsciiLowerCase(command);
  source_.reset();
  namesDatabase_ = false;
}

void FindingsCollector::ResultSetStarted(const std::vector<data::Field>& fields) {
  // The batch's previous result is whole: nothing went wrong before the next one came.
  Commit();
  auto columns = std::make_shared<std::vector<std::string>>();
  for (const data::Field& field : fields) columns->push_back(report::AsciiLowerCase(field.name));
  columns_ = std::move(columns);
  source_ = SourceOf(command_, *columns_);
  namesDatabase_ =
      command_.find("sp_helpfile") != std::string::npos && HasColumns(*columns_, {"database_name"});
  if (!namesDatabase_) files_.reset();
  if (source_ == Source::kDatabaseFiles) files_ = FileGroup{resultSets_, {}};
  row_ = 0;
  ++resultSets_;
}

Facts FindingsCollector::FactsFor(std::vector<RowFacts> rows) const {
  Facts facts;
  facts.rows = std::move(rows);
  facts.serverMajor = serverMajor_;
  facts.productVersion = productVersion_;
  facts.reportDate = reportDate_;
  return facts;
}

void FindingsCollector::Check(Source source, const Facts& facts, std::size_t resultSet,
                              std::size_t row) {
  for (const Rule& rule : Rules()) {
    if (rule.source != source) continue;
    std::optional<Hit> hit = rule.check(facts);
    if (!hit) continue;
    const std::size_t evidenceRow = source == Source::kDatabaseFiles ? hit->row : row;
    pending_.findings.push_back(
        Finding{std::string(rule.id), hit->severity, std::move(hit->subject), std::move(hit->title),
                std::move(hit->detail), anchor_, Evidence{resultSet, evidenceRow}});
  }
}

void FindingsCollector::RowFetched(const std::vector<data::Value>& row) {
  const std::size_t at = row_++;
  if (namesDatabase_ && at == 0 && files_) {
    FileGroup group = std::move(*files_);
    files_.reset();
    Facts facts = FactsFor(std::move(group.rows));
    facts.database = RowFacts(columns_, row).Text("database_name");
    if (const auto id = databaseIds_.find(facts.database); id != databaseIds_.end()) {
      facts.databaseId = id->second;
    }
    if (!facts.database.empty()) Check(Source::kDatabaseFiles, facts, group.resultSet, 0);
    return;
  }
  if (!source_) return;
  RowFacts values(columns_, row);
  switch (*source_) {
    case Source::kDatabaseFiles:
      if (files_) files_->rows.push_back(values.Keep());
      return;
    case Source::kVersion: {
      if (at > 0) return;
      // The rule reads the version it is given, not one read earlier.
      const std::string version = values.Text(columns_->front());
      pending_.productVersion = version;
      Facts facts = FactsFor({std::move(values)});
      facts.productVersion = version;
      facts.serverMajor = MajorVersion(version);
      Check(Source::kVersion, facts, resultSets_ - 1, at);
      return;
    }
    case Source::kDatabases:
      if (const auto id = values.Integer("dbid")) pending_.databaseIds[values.Text("name")] = *id;
      break;
    default:
      break;
  }
  Check(*source_, FactsFor({std::move(values)}), resultSets_ - 1, at);
}

void FindingsCollector::Commit() {
  for (Finding& finding : pending_.findings) {
    // One finding per subject: the first stands.
    if (!subjects_.emplace(finding.id, finding.subject).second) continue;
    found_.push_back(std::move(finding));
  }
  for (auto& [name, id] : pending_.databaseIds) databaseIds_[name] = id;
  if (pending_.productVersion) {
    productVersion_ = *pending_.productVersion;
    serverMajor_ = MajorVersion(productVersion_);
  }
  pending_ = Pending();
}

void FindingsCollector::Discard() {
  pending_ = Pending();
  // A file group still being read, or waiting for its name, may have lost rows.
  files_.reset();
  source_.reset();
  namesDatabase_ = false;
}

const std::vector<Finding>& FindingsCollector::Findings() {
  Commit();
  return found_;
}

std::string FindingsCollector::HeadingOf(const std::string& anchor) const {
  const auto at = headings_.find(anchor);
  return at == headings_.end() ? anchor : at->second;
}

}  // namespace quorvane::findings
