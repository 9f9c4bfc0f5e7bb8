#include "sqlserver_sim/scale.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

namespace sqlsim {
namespace {

constexpr const char* kWalk = "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'";
constexpr std::uint64_t kSystemDatabases = 4;   // master, tempdb, model, msdb
constexpr std::uint64_t kMaxDatabases = 32767;  // dbid is a smallint

// ---- values ---------------------------------------------------------------------------------

// The setters keep a Value's buffer: a row is rewritten in place for each row sent.
void SetText(Value& v, std::string_view text) {
  v.null = false;
  v.bytes.assign(text);
}

void SetPadded(Value& v, std::string_view text, std::size_t width) {
  SetText(v, text);
  if (v.bytes.size() < width) v.bytes.append(width - v.bytes.size(), ' ');
}

void SetInt(Value& v, std::int64_t n) {
  v.null = false;
  v.integer = n;
}

void SetNull(Value& v) {
  v.null = true;
  v.bytes.clear();
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  const int n = std::snprintf(text, sizeof text, format, args...);
  return std::string(text, static_cast<std::size_t>(std::clamp(n, 0, 255)));
}

// Agent dates as the report's scripts convert them: dd/mm/yyyy.
std::string DayMonthYear(std::int32_t days) {
  int y = 0;
  int m = 0;
  int d = 0;
  CivilFromDays(days, y, m, d);
  return Format("%02d/%02d/%04d", d, m, y);
}

// ---- generic sources ------------------------------------------------------------------------

class MadeRows final : public RowSource {
 public:
  using Maker = std::function<void(std::uint64_t, std::vector<Value>&)>;
  MadeRows(std::vector<Column> columns, std::uint64_t size, Maker make)
      : columns_(std::move(columns)), size_(size), make_(std::move(make)) {}
  const std::vector<Column>& Columns() const override { return columns_; }
  std::uint64_t Size() const override { return size_; }
  void Row(std::uint64_t index, std::vector<Value>& out) const override {
    out.resize(columns_.size());
    make_(index, out);
  }

 private:
  std::vector<Column> columns_;
  std::uint64_t size_;
  Maker make_;
};

class MadeResults final : public ResultSource {
 public:
  using Maker = std::function<void(std::uint64_t, std::vector<ResultItem>&)>;
  MadeResults(std::uint64_t groups, Maker make) : groups_(groups), make_(std::move(make)) {}
  std::uint64_t Groups() const override { return groups_; }
  void Group(std::uint64_t index, std::vector<ResultItem>& out) const override {
    make_(index, out);
  }

 private:
  std::uint64_t groups_;
  Maker make_;
};

ResultItem RowsOf(std::shared_ptr<const RowSource> source) {
  ResultItem item;
  item.kind = ResultItem::Kind::Rows;
  item.source = std::move(source);
  return item;
}

ResultItem CountOf(std::uint64_t n) {
  ResultItem item;
  item.kind = ResultItem::Kind::Count;
  item.count = n;
  return item;
}

// ---- finding the demo's answers -------------------------------------------------------------

BatchRule& RuleFor(Scenario& scenario, const std::string& sql) {
  const auto it = scenario.exact.find(NormalizeBatch(sql));
  if (it == scenario.exact.end()) {
    throw std::runtime_error("scale: the scenario has no rule for \"" + sql +
                             "\" (--scale builds on the demo instance)");
  }
  return scenario.batches[it->second];
}

std::vector<std::shared_ptr<const RowSet>> RowSetsOf(const BatchRule& rule) {
  std::vector<std::shared_ptr<const RowSet>> out;
  for (const ResultItem& item : rule.results) {
    if (item.kind == ResultItem::Kind::Rows && item.rows) out.push_back(item.rows);
  }
  return out;
}

const std::vector<Value>& RowNamed(const RowSet& set, std::string_view name) {
  for (const auto& row : set.rows) {
    if (!row.empty() && !row[0].null && row[0].bytes == name) return row;
  }
  throw std::runtime_error("scale: the demo's answer has no row '" + std::string(name) + "'");
}

bool IsJobHistory(const BatchRule& rule) {
  const auto sets = RowSetsOf(rule);
  return !sets.empty() && sets.back()->columns.size() == 10 &&
         sets.back()->columns[0].name == "job_name";
}

bool IsJobScript(const BatchRule& rule) {
  const auto sets = RowSetsOf(rule);
  return rule.sql.find("#job_execution_state") != std::string::npos && sets.size() == 1 &&
         sets[0]->columns.size() == 31;
}

// ---- databases ------------------------------------------------------------------------------

struct Databases {
  std::uint64_t users = 0;  // user databases, dbid 5 onwards
  int width = 5;

  std::string Name(std::uint64_t user) const {
    return Format("Db%0*llu", width, static_cast<unsigned long long>(user + 1));
  }
  static std::uint64_t DataKb(std::uint64_t user) { return 8192 * (1 + user % 64); }
  static std::uint64_t LogKb(std::uint64_t user) { return 2048 * (1 + user % 16); }
};

void ScaleDatabases(Scenario& scenario, std::uint64_t count) {
  if (count < kSystemDatabases || count > kMaxDatabases) {
    throw std::runtime_error(
        "scale: databases must be 4 to 32767 (master, tempdb, model and "
        "msdb are always there)");
  }
  Databases dbs;
  dbs.users = count - kSystemDatabases;
  dbs.width = std::max<int>(5, static_cast<int>(std::to_string(dbs.users).size()));

  // sp_helpdb, by name: the user databases ("Db..." sorts first), then the system ones.
  BatchRule& helpdb = RuleFor(scenario, "exec master..sp_helpdb");
  const auto helpdbSets = RowSetsOf(helpdb);
  if (helpdbSets.size() != 1) throw std::runtime_error("scale: unexpected sp_helpdb answer");
  const RowSet& demoDbs = *helpdbSets[0];
  const std::vector<Value> online = RowNamed(demoDbs, "SalesDemo");
  const std::vector<Value> offline = RowNamed(demoDbs, "Archive2012");
  std::vector<std::vector<Value>> system;
  for (const char* name : {"master", "model", "msdb", "tempdb"})
    system.push_back(RowNamed(demoDbs, name));
  helpdb.results = {RowsOf(std::make_shared<MadeRows>(
      demoDbs.columns, count, [dbs, online, offline, system](std::uint64_t i, auto& out) {
        if (i >= dbs.users) {
          out = system[i - dbs.users];
          return;
        }
        const bool off = IsOfflineDatabase(i);
        const std::vector<Value>& t = off ? offline : online;
        SetText(out[0], dbs.Name(i));
        const double mb = static_cast<double>(Databases::DataKb(i) + Databases::LogKb(i)) / 1024;
        SetText(out[1], Format("%10.2f MB", mb));
        out[2] = t[2];
        SetInt(out[3], static_cast<std::int64_t>(kSystemDatabases + 1 + i));
        out[4] = t[4];
        out[5] = t[5];
        out[6] = t[6];
      }))};

  // The walk, by dbid: the demo's system databases, then one group per user database.
  BatchRule& walk = RuleFor(scenario, kWalk);
  std::vector<ResultItem> systemItems;
  for (const ResultItem& item : walk.results) {
    if (item.kind == ResultItem::Kind::Rows && item.rows->rows.size() == 1 &&
        item.rows->columns.size() == 3) {
      const std::string& db = item.rows->rows[0][0].bytes;
      if (db != "master" && db != "tempdb" && db != "model" && db != "msdb") break;
    }
    if (item.kind == ResultItem::Kind::Error) break;
    systemItems.push_back(item);
  }
  if (systemItems.size() != 3 * kSystemDatabases) {
    throw std::runtime_error("scale: unexpected answer to the database walk");
  }
  // Trimmed to the three groups of the first database: its shapes are the walk's.
  const std::vector<Column> files = systemItems[0].rows->columns;
  const std::vector<Column> space = systemItems[1].rows->columns;
  const std::vector<Column> usage = systemItems[2].rows->columns;
  const std::size_t filenameWidth = static_cast<std::size_t>(files[2].type.length);
  walk.results.clear();
  walk.generated =
      std::make_shared<MadeResults>(count, [=](std::uint64_t g, std::vector<ResultItem>& out) {
        if (g < kSystemDatabases) {
          out.assign(systemItems.begin() + static_cast<std::ptrdiff_t>(3 * g),
                     systemItems.begin() + static_cast<std::ptrdiff_t>(3 * g + 3));
          return;
        }
        const std::uint64_t u = g - kSystemDatabases;
        const std::string name = dbs.Name(u);
        if (IsOfflineDatabase(u)) {
          ResultItem error;
          error.kind = ResultItem::Kind::Error;
          error.message = ServerMessage{
              942, 4, 14, "Database '" + name + "' cannot be opened because it is offline.", "", 1};
          out.push_back(std::move(error));
          return;
        }
        const std::uint64_t dataKb = Databases::DataKb(u);
        const std::uint64_t logKb = Databases::LogKb(u);
        auto f = std::make_shared<RowSet>();
        f->columns = files;
        f->rows.assign(2, std::vector<Value>(files.size()));
        auto fileRow = [&](std::vector<Value>& r, const std::string& logical, int id,
                           const std::string& path, const char* group, std::uint64_t kb,
                           const char* max, const char* use) {
          SetText(r[0], logical);
          SetInt(r[1], id);
          SetPadded(r[2], path, filenameWidth);
          if (group) {
            SetText(r[3], group);
          } else {
            SetNull(r[3]);
          }
          SetText(r[4], std::to_string(kb) + " KB");
          SetText(r[5], max);
          SetText(r[6], "65536 KB");
          SetText(r[7], use);
        };
        fileRow(f->rows[0], name, 1, "D:\\SQLData\\" + name + ".mdf", "PRIMARY", dataKb,
                "Unlimited", "data only");
        fileRow(f->rows[1], name + "_log", 2, "D:\\SQLLogs\\" + name + "_log.ldf", nullptr, logKb,
                "2147483648 KB", "log only");
        auto s = std::make_shared<RowSet>();
        s->columns = space;
        s->rows.assign(1, std::vector<Value>(space.size()));
        SetText(s->rows[0][0], name);
        SetText(s->rows[0][1], Format("%.2f MB", static_cast<double>(dataKb + logKb) / 1024));
        SetText(s->rows[0][2], Format("%.2f MB", static_cast<double>(dataKb / 4) / 1024));
        auto r = std::make_shared<RowSet>();
        r->columns = usage;
        r->rows.assign(1, std::vector<Value>(usage.size()));
        const std::uint64_t reserved = dataKb / 2;
        SetText(r->rows[0][0], std::to_string(reserved) + " KB");
        SetText(r->rows[0][1], std::to_string(reserved / 2) + " KB");
        SetText(r->rows[0][2], std::to_string(reserved / 4) + " KB");
        SetText(r->rows[0][3], std::to_string(reserved / 4) + " KB");
        for (auto set : {f, s, r}) {
          ResultItem item;
          item.kind = ResultItem::Kind::Rows;
          item.rows = std::move(set);
          out.push_back(std::move(item));
        }
      });
}

// ---- logins ---------------------------------------------------------------------------------

void ScaleLogins(Scenario& scenario, std::uint64_t count, std::uint64_t userDatabases,
                 int dbWidth) {
  BatchRule& rule = RuleFor(scenario, "exec master..sp_helplogins");
  const auto sets = RowSetsOf(rule);
  if (sets.size() != 2) throw std::runtime_error("scale: unexpected sp_helplogins answer");
  const RowSet demoLogins = *sets[0];
  const RowSet demoUsers = *sets[1];
  const std::uint64_t kept = std::min<std::uint64_t>(count, demoLogins.rows.size());
  const std::uint64_t made = count - kept;
  // The demo's users of the logins kept, then two rows (user, role) per made login.
  std::vector<std::vector<Value>> keptUsers;
  for (const auto& row : demoUsers.rows) {
    for (std::uint64_t i = 0; i < kept; ++i) {
      if (demoLogins.rows[i][0].bytes == row[0].bytes) {
        keptUsers.push_back(row);
        break;
      }
    }
  }
  auto loginName = [](std::uint64_t i) {
    return Format("QUORVANE\\user%06llu", static_cast<unsigned long long>(i + 1));
  };
  const std::size_t charWidth = static_cast<std::size_t>(demoLogins.columns[4].type.length);
  const std::size_t remoteWidth = static_cast<std::size_t>(demoLogins.columns[5].type.length);
  auto logins = std::make_shared<MadeRows>(
      demoLogins.columns, count, [=](std::uint64_t i, std::vector<Value>& out) {
        if (i < kept) {
          out = demoLogins.rows[i];
          return;
        }
        const std::uint64_t m = i - kept;
        SetText(out[0], loginName(m));
        std::string sid("\x01\x05\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00", 12);
        for (int b = 0; b < 8; ++b) sid.push_back(static_cast<char>((m * 2654435761u) >> (b * 4)));
        for (int b = 0; b < 4; ++b) sid.push_back(static_cast<char>(m >> (b * 8)));
        SetText(out[1], sid);
        SetText(out[2], "master");
        SetText(out[3], "us_english");
        SetPadded(out[4], m % 3 == 0 ? "yes" : "no", charWidth);
        SetPadded(out[5], "no", remoteWidth);
      });
  const std::size_t aliasWidth = static_cast<std::size_t>(demoUsers.columns[3].type.length);
  Databases dbs;
  dbs.users = userDatabases;
  dbs.width = dbWidth;
  auto users = std::make_shared<MadeRows>(
      demoUsers.columns, keptUsers.size() + 2 * made,
      [=](std::uint64_t i, std::vector<Value>& out) {
        if (i < keptUsers.size()) {
          out = keptUsers[i];
          return;
        }
        const std::uint64_t m = (i - keptUsers.size()) / 2;
        const bool role = (i - keptUsers.size()) % 2 == 1;
        const std::string login = loginName(m);
        SetText(out[0], login);
        SetText(out[1], dbs.users == 0 ? std::string("master") : dbs.Name(m % dbs.users));
        SetText(out[2], role ? std::string("db_datareader") : login);
        SetPadded(out[3], role ? "MemberOf" : "User", aliasWidth);
      });
  rule.results = {RowsOf(logins), RowsOf(users)};
}

// ---- jobs -----------------------------------------------------------------------------------

struct Jobs {
  std::vector<std::string> demoNames;  // the demo's jobs, in the script's order
  std::uint64_t count = 0;

  std::string Name(std::uint64_t j) const {
    const std::string& base = demoNames[j % demoNames.size()];
    if (j < demoNames.size()) return base;
    return Format("%s %06llu", base.c_str(), static_cast<unsigned long long>(j + 1));
  }
};

Jobs ScaleJobs(Scenario& scenario, std::optional<std::uint64_t> count) {
  const auto rule = std::find_if(scenario.batches.begin(), scenario.batches.end(), IsJobScript);
  if (rule == scenario.batches.end())
    throw std::runtime_error("scale: the scenario has no job script rule");
  const RowSet demo = *RowSetsOf(*rule)[0];
  Jobs jobs;
  for (const auto& row : demo.rows) jobs.demoNames.push_back(row[0].bytes);
  jobs.count = count.value_or(demo.rows.size());
  if (jobs.demoNames.empty() || jobs.count == 0)
    throw std::runtime_error("scale: jobs must be at least 1");
  if (!count) return jobs;
  // The counts of the script's temporary tables follow the number of jobs.
  for (ResultItem& item : rule->results) {
    if (item.kind == ResultItem::Kind::Count && item.count == demo.rows.size())
      item.count = jobs.count;
  }
  rule->results.back() = RowsOf(std::make_shared<MadeRows>(
      demo.columns, jobs.count, [demo, jobs](std::uint64_t j, std::vector<Value>& out) {
        out = demo.rows[j % demo.rows.size()];
        SetText(out[0], jobs.Name(j));
      }));
  return jobs;
}

void ScaleHistory(Scenario& scenario, const Jobs& jobs, std::optional<std::uint64_t> history,
                  std::optional<std::uint64_t> rows) {
  std::vector<BatchRule*> rules;
  for (BatchRule& rule : scenario.batches) {
    if (IsJobHistory(rule)) rules.push_back(&rule);
  }
  if (rules.size() != 3) {
    throw std::runtime_error(
        "scale: expected the demo's three job history rules (history, "
        "failures, long-running jobs)");
  }
  const RowSet demo = *RowSetsOf(*rules[0]).back();
  const std::string server = demo.rows.at(0)[9].bytes;
  const std::int32_t newest = DaysFromCivil(2026, 12, 9);
  // Row i of a history of n runs, newest first; `duration` overrides the run's own.
  auto run = [=](std::uint64_t i, std::vector<Value>& out, std::optional<std::uint64_t> duration) {
    const bool failed = i % kFailureEvery == 0;
    SetText(out[0], jobs.Name(i % jobs.count));
    SetInt(out[1], failed ? 0 : 1);
    SetText(out[2], DayMonthYear(newest - static_cast<std::int32_t>(i / 50)));
    const std::uint64_t start = (i * 7919) % 86400;
    SetText(out[3], Format("%02llu:%02llu:%02llu", static_cast<unsigned long long>(start / 3600),
                           static_cast<unsigned long long>(start / 60 % 60),
                           static_cast<unsigned long long>(start % 60)));
    const std::uint64_t seconds = duration.value_or((i * 131) % 7200);
    SetText(out[4], Format("%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                           static_cast<unsigned long long>(seconds / 60 % 60),
                           static_cast<unsigned long long>(seconds % 60)));
    if (failed) {
      SetText(out[5], "DBA Team");
    } else {
      SetNull(out[5]);
    }
    SetNull(out[6]);
    SetNull(out[7]);
    SetInt(out[8], failed ? 1 : 0);
    SetText(out[9], server);
  };
  auto answer = [](BatchRule& rule, std::uint64_t total, std::shared_ptr<const RowSource> made) {
    rule.results = {CountOf(total), RowsOf(std::move(made))};
  };
  if (history) {
    const std::uint64_t n = *history;
    answer(*rules[1], n,
           std::make_shared<MadeRows>(demo.columns, (n + kFailureEvery - 1) / kFailureEvery,
                                      [run](std::uint64_t k, std::vector<Value>& out) {
                                        run(k * kFailureEvery, out, std::nullopt);
                                      }));
    answer(*rules[2], n,
           std::make_shared<MadeRows>(demo.columns, n,
                                      [run, n](std::uint64_t k, std::vector<Value>& out) {
                                        run(k, out, 7200 * (n - k) / n);
                                      }));
  }
  const std::optional<std::uint64_t> main = rows ? rows : history;
  if (!main) return;
  answer(*rules[0], *main,
         std::make_shared<MadeRows>(
             demo.columns, *main,
             [run](std::uint64_t i, std::vector<Value>& out) { run(i, out, std::nullopt); }));
  if (rows) rules[0]->topLast = false;
}

}  // namespace

ScaleSizes ParseScaleSizes(std::string_view text) {
  ScaleSizes sizes;
  if (text.empty()) throw std::invalid_argument("scale: no sizes given");
  for (bool last = false; !last;) {
    const std::size_t comma = text.find(',');
    last = comma == std::string_view::npos;
    const std::string_view item = text.substr(0, comma);
    text = last ? std::string_view() : text.substr(comma + 1);
    const std::size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const std::string_view number =
        eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
    if (number.empty() || ec != std::errc() || end != number.data() + number.size()) {
      throw std::invalid_argument("scale: \"" + std::string(item) +
                                  "\" is not NAME=COUNT (a whole number)");
    }
    std::optional<std::uint64_t>* slot = key == "databases" ? &sizes.databases
                                         : key == "logins"  ? &sizes.logins
                                         : key == "jobs"    ? &sizes.jobs
                                         : key == "history" ? &sizes.history
                                         : key == "rows"    ? &sizes.rows
                                                            : nullptr;
    if (!slot) {
      throw std::invalid_argument("scale: unknown size \"" + std::string(key) +
                                  "\" (databases, logins, jobs, history, rows)");
    }
    *slot = n;
  }
  return sizes;
}

void ApplyScale(Scenario& scenario, const ScaleSizes& sizes) {
  std::uint64_t userDatabases = 2;  // the demo's SalesDemo and Archive2012
  int dbWidth = 5;
  if (sizes.databases) {
    ScaleDatabases(scenario, *sizes.databases);
    userDatabases = *sizes.databases - kSystemDatabases;
    dbWidth = std::max<int>(5, static_cast<int>(std::to_string(userDatabases).size()));
  }
  if (sizes.logins)
    ScaleLogins(scenario, *sizes.logins, sizes.databases ? userDatabases : 0, dbWidth);
  const Jobs jobs = ScaleJobs(scenario, sizes.jobs);
  if (sizes.history || sizes.rows) ScaleHistory(scenario, jobs, sizes.history, sizes.rows);
}

}  // namespace sqlsim
