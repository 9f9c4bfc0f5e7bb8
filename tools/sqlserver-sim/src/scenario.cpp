#include "sqlserver_sim/scenario.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "sqlserver_sim/sql_lexer.h"
#include "sqlserver_sim/text.h"

namespace sqlsim {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw std::runtime_error("scenario: " + (where.empty() ? std::string() : where + ": ") + what);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Typos in field names would otherwise silently change a scenario's meaning. Fields named
// "comment" or starting with '_' are free for notes.
void CheckFields(const json& j, const std::string& where,
                 std::initializer_list<std::string_view> known) {
  if (!j.is_object()) Fail(where, "expected an object, got " + std::string(j.type_name()));
  for (const auto& [key, value] : j.items()) {
    if (key == "comment" || (!key.empty() && key[0] == '_')) continue;
    if (std::find(known.begin(), known.end(), key) == known.end()) {
      std::string list;
      for (auto k : known) list += (list.empty() ? "" : ", ") + std::string(k);
      Fail(where, "unknown field '" + key + "' (expected one of: " + list + ")");
    }
  }
}

const json* Optional(const json& j, const char* key) {
  auto it = j.find(key);
  return it == j.end() ? nullptr : &*it;
}

std::string GetString(const json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, "expected a string, got " + std::string(j.type_name()));
  return j.get<std::string>();
}

bool GetBool(const json& j, const std::string& where) {
  if (!j.is_boolean()) Fail(where, "expected true or false, got " + j.dump());
  return j.get<bool>();
}

std::int64_t GetInt(const json& j, const std::string& where, std::int64_t min, std::int64_t max) {
  if (!j.is_number_integer()) Fail(where, "expected an integer, got " + j.dump());
  if (j.is_number_unsigned() && j.get<std::uint64_t>() > static_cast<std::uint64_t>(max)) {
    Fail(where, j.dump() + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
  }
  const auto v = j.get<std::int64_t>();
  if (v < min || v > max) {
    Fail(where, j.dump() + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
  }
  return v;
}

ServerMessage ParseMessage(const json& j, const std::string& where, bool isError) {
  if (isError) {
    CheckFields(j, where,
                {"number", "class", "severity", "state", "text", "procedure", "line", "count"});
  } else {
    CheckFields(j, where, {"number", "class", "severity", "state", "text", "procedure", "line"});
  }
  ServerMessage m;
  const json* number = Optional(j, "number");
  const json* text = Optional(j, "text");
  if (!number) Fail(where, "a message needs a \"number\"");
  if (!text) Fail(where, "a message needs a \"text\"");
  m.number = static_cast<std::int32_t>(GetInt(*number, where + ".number", 0, 2147483647));
  m.text = GetString(*text, where + ".text");
  if (Utf8ToUtf16(m.text).size() > 4000) Fail(where + ".text", "longer than 4000 characters");
  const json* cls = Optional(j, "class");
  if (!cls) cls = Optional(j, "severity");
  const int defaultClass = isError ? 16 : 0;
  m.severity =
      static_cast<std::uint8_t>(cls ? GetInt(*cls, where + ".class", 0, 25) : defaultClass);
  if (isError && m.severity < 11) {
    Fail(where + ".class", "an error has class 11-25; class 0-10 is an \"info\" message");
  }
  if (!isError && m.severity > 10) {
    Fail(where + ".class", "an info message has class 0-10; class 11-25 is an \"error\"");
  }
  if (const json* state = Optional(j, "state")) {
    m.state = static_cast<std::uint8_t>(GetInt(*state, where + ".state", 0, 255));
  }
  if (const json* proc = Optional(j, "procedure")) {
    m.procedure = GetString(*proc, where + ".procedure");
    if (Utf8ToUtf16(m.procedure).size() > 128)
      Fail(where + ".procedure", "longer than 128 characters");
  }
  if (const json* line = Optional(j, "line")) {
    m.line = static_cast<std::int32_t>(GetInt(*line, where + ".line", 0, 65535));
  }
  return m;
}

std::shared_ptr<const RowSet> ParseRowSet(const json& j, const std::string& where) {
  CheckFields(j, where, {"columns", "data"});
  const json* columns = Optional(j, "columns");
  if (!columns || !columns->is_array() || columns->empty()) {
    Fail(where + ".columns", "a row set needs a non-empty \"columns\" array");
  }
  auto set = std::make_shared<RowSet>();
  for (std::size_t i = 0; i < columns->size(); ++i) {
    const std::string cw = where + ".columns[" + std::to_string(i) + "]";
    const json& c = (*columns)[i];
    CheckFields(c, cw, {"name", "type", "nullable"});
    Column col;
    const json* name = Optional(c, "name");
    const json* type = Optional(c, "type");
    if (!name) Fail(cw, "a column needs a \"name\" (\"\" for an unnamed column)");
    if (!type) Fail(cw, "a column needs a \"type\"");
    col.name = GetString(*name, cw + ".name");
    if (Utf8ToUtf16(col.name).size() > 128) Fail(cw + ".name", "longer than 128 characters");
    try {
      col.type = ParseSqlType(GetString(*type, cw + ".type"));
    } catch (const std::invalid_argument& e) {
      Fail(cw + ".type", e.what());
    }
    if (const json* nullable = Optional(c, "nullable")) {
      col.nullable = GetBool(*nullable, cw + ".nullable");
    }
    set->columns.push_back(std::move(col));
  }
  const json* data = Optional(j, "data");
  if (data && !data->is_array()) Fail(where + ".data", "expected an array of rows");
  if (data) {
    for (std::size_t r = 0; r < data->size(); ++r) {
      const std::string rw = where + ".data[" + std::to_string(r) + "]";
      const json& row = (*data)[r];
      if (!row.is_array() || row.size() != set->columns.size()) {
        Fail(rw, "expected an array of " + std::to_string(set->columns.size()) + " values, got " +
                     (row.is_array() ? std::to_string(row.size()) + " values" : row.dump()));
      }
      std::vector<Value> values;
      values.reserve(row.size());
      for (std::size_t k = 0; k < row.size(); ++k) {
        const Column& col = set->columns[k];
        const std::string vw = rw + "[" + std::to_string(k) + "] (column '" + col.name + "')";
        try {
          values.push_back(ParseValue(col.type, row[k]));
        } catch (const std::invalid_argument& e) {
          Fail(vw, e.what());
        }
        if (values.back().null && !col.nullable) Fail(vw, "NULL in a column marked not nullable");
      }
      set->rows.push_back(std::move(values));
    }
  }
  return set;
}

std::vector<ResultItem> ParseResults(const json& j, const std::string& where) {
  if (!j.is_array()) Fail(where, "expected an array of result items");
  std::vector<ResultItem> items;
  for (std::size_t i = 0; i < j.size(); ++i) {
    const std::string iw = where + "[" + std::to_string(i) + "]";
    const json& item = j[i];
    CheckFields(item, iw, {"rows", "count", "info", "error", "delay_ms", "drop"});
    std::size_t kinds = 0;
    for (const char* k : {"rows", "count", "info", "error", "delay_ms", "drop"}) {
      kinds += item.contains(k) ? 1 : 0;
    }
    if (kinds != 1) {
      Fail(iw, "a result item has exactly one of rows, count, info, error, delay_ms, drop");
    }
    ResultItem r;
    if (const json* rows = Optional(item, "rows")) {
      r.kind = ResultItem::Kind::Rows;
      r.rows = ParseRowSet(*rows, iw + ".rows");
    } else if (const json* count = Optional(item, "count")) {
      r.kind = ResultItem::Kind::Count;
      r.count = static_cast<std::uint64_t>(
          GetInt(*count, iw + ".count", 0, std::numeric_limits<std::int64_t>::max()));
    } else if (const json* info = Optional(item, "info")) {
      r.kind = ResultItem::Kind::Info;
      r.message = ParseMessage(*info, iw + ".info", false);
    } else if (const json* error = Optional(item, "error")) {
      r.kind = ResultItem::Kind::Error;
      r.message = ParseMessage(*error, iw + ".error", true);
      if (const json* count = Optional(*error, "count")) {
        r.errorCount = static_cast<std::uint64_t>(
            GetInt(*count, iw + ".error.count", 0, std::numeric_limits<std::int64_t>::max()));
      }
    } else if (const json* delay = Optional(item, "delay_ms")) {
      r.kind = ResultItem::Kind::Delay;
      r.delayMs = static_cast<int>(GetInt(*delay, iw + ".delay_ms", 0, 3'600'000));
    } else if (const json* drop = Optional(item, "drop")) {
      r.kind = ResultItem::Kind::Drop;
      if (!GetBool(*drop, iw + ".drop")) Fail(iw + ".drop", "only \"drop\": true makes sense");
    }
    items.push_back(std::move(r));
  }
  return items;
}

void ParseVersion(Scenario& s, const std::string& text, const std::string& where) {
  int parts[4] = {0, 0, 0, 0};
  int count = 0;
  std::size_t pos = 0;
  while (count < 4 && pos <= text.size()) {
    std::size_t dot = text.find('.', pos);
    const std::string part =
        text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    if (part.empty() || part.size() > 5 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      Fail(where, "'" + text + "' is not a version like 15.0.2000.5");
    }
    parts[count++] = std::stoi(part);
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  if (count < 3 || parts[0] > 255 || parts[1] > 255 || parts[2] > 65535 || parts[3] > 65535 ||
      (count == 4 && text.find('.', pos) != std::string::npos)) {
    Fail(where, "'" + text + "' is not a version like 15.0.2000.5");
  }
  s.version = text;
  s.versionBytes = {static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts[1]),
                    static_cast<std::uint8_t>(parts[2] >> 8), static_cast<std::uint8_t>(parts[2])};
  s.revision = static_cast<std::uint16_t>(parts[3]);
}

// ---- a small T-SQL tokenizer, just enough to name what a batch refers to -----------------

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  void SkipSpaceAndComments() {
    while (pos_ < s_.size()) {
      if (std::isspace(static_cast<unsigned char>(s_[pos_]))) {
        ++pos_;
      } else if (s_.substr(pos_, 2) == "--") {
        const auto end = s_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? s_.size() : end + 1;
      } else if (s_.substr(pos_, 2) == "/*") {
        const auto end = s_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? s_.size() : end + 2;
      } else {
        break;
      }
    }
  }

  bool AtEnd() {
    SkipSpaceAndComments();
    return pos_ >= s_.size();
  }

  // A possibly multi-part, possibly bracketed name; brackets and quotes are removed.
  std::string Name() {
    SkipSpaceAndComments();
    std::string out;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '[' || c == '"') {
        out += ReadQuoted(s_, pos_);
      } else if (IsWordChar(c)) {
        while (pos_ < s_.size() && IsWordChar(s_[pos_])) out.push_back(s_[pos_++]);
      } else {
        break;
      }
      if (pos_ < s_.size() && s_[pos_] == '.') {
        // "master..xp_msver": an empty part between dots stays empty.
        while (pos_ < s_.size() && s_[pos_] == '.') out.push_back(s_[pos_++]);
        continue;
      }
      break;
    }
    return out;
  }

  // Skips one token of any kind (string literals and punctuation included).
  void SkipToken() {
    SkipSpaceAndComments();
    if (pos_ >= s_.size()) return;
    const char c = s_[pos_];
    if (c == '\'' || ((c == 'N' || c == 'n') && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'')) {
      pos_ += c == '\'' ? 1 : 2;
      while (pos_ < s_.size()) {
        if (s_[pos_] == '\'') {
          if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
            pos_ += 2;
            continue;
          }
          ++pos_;
          return;
        }
        ++pos_;
      }
      return;
    }
    if (IsWordChar(c) || c == '[' || c == '"') {
      Name();
      return;
    }
    ++pos_;
  }

  char Peek() {
    SkipSpaceAndComments();
    return pos_ < s_.size() ? s_[pos_] : '\0';
  }
  void Advance() { ++pos_; }

  static bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' ||
           c == '$' || static_cast<unsigned char>(c) >= 0x80;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

bool IsExec(const std::string& word) {
  const std::string w = Lower(word);
  return w == "exec" || w == "execute";
}

std::string LastPart(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

}  // namespace

// ---- scenario -------------------------------------------------------------------------------

std::string WithEncryption(std::string_view scenarioJson, const EncryptionSetting& setting) {
  json doc;
  try {
    doc = json::parse(scenarioJson, nullptr, true, /*ignore_comments=*/true);
  } catch (const json::parse_error& e) {
    Fail("", std::string("not valid JSON: ") + e.what());
  }
  doc["encryption"] = {
      {"certificate", setting.certificate}, {"key", setting.key}, {"required", setting.required}};
  return doc.dump();
}

std::string NormalizeBatch(std::string_view batch) {
  std::string out;
  out.reserve(batch.size());
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (batch[i] == '\r' && i + 1 < batch.size() && batch[i + 1] == '\n') continue;
    out.push_back(batch[i]);
  }
  while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
  return out;
}

Scenario ParseScenario(std::string_view text) {
  json doc;
  try {
    doc = json::parse(text, nullptr, true, /*ignore_comments=*/true);
  } catch (const json::parse_error& e) {
    Fail("", std::string("not valid JSON: ") + e.what());
  }
  Scenario s;
  CheckFields(doc, "(top level)",
              {"server", "logins", "faults", "encryption", "batches", "unknown"});

  if (const json* server = Optional(doc, "server")) {
    CheckFields(*server, "server",
                {"name", "version", "product", "database", "language", "domain", "caseSensitive"});
    if (const json* name = Optional(*server, "name")) {
      s.serverName = GetString(*name, "server.name");
      if (s.serverName.empty() || Utf8ToUtf16(s.serverName).size() > 128) {
        Fail("server.name", "must be 1-128 characters");
      }
    }
    if (const json* version = Optional(*server, "version")) {
      ParseVersion(s, GetString(*version, "server.version"), "server.version");
    }
    if (const json* product = Optional(*server, "product")) {
      s.productName = GetString(*product, "server.product");
    }
    if (const json* database = Optional(*server, "database")) {
      s.database = GetString(*database, "server.database");
    }
    if (const json* domain = Optional(*server, "domain")) {
      s.domain = GetString(*domain, "server.domain");
    }
    if (const json* language = Optional(*server, "language")) {
      s.language = GetString(*language, "server.language");
    }
    if (const json* cs = Optional(*server, "caseSensitive")) {
      s.caseSensitive = GetBool(*cs, "server.caseSensitive");
    }
  }

  if (const json* encryption = Optional(doc, "encryption")) {
    CheckFields(*encryption, "encryption", {"certificate", "key", "required"});
    const json* certificate = Optional(*encryption, "certificate");
    const json* key = Optional(*encryption, "key");
    if (!certificate || !key) Fail("encryption", "needs a \"certificate\" and a \"key\"");
    EncryptionSetting& e = s.encryption.emplace();
    e.certificate = GetString(*certificate, "encryption.certificate");
    e.key = GetString(*key, "encryption.key");
    if (const json* required = Optional(*encryption, "required")) {
      e.required = GetBool(*required, "encryption.required");
    }
  }

  if (const json* logins = Optional(doc, "logins")) {
    if (!logins->is_array()) Fail("logins", "expected an array of {\"name\", \"password\"}");
    s.logins.emplace();
    for (std::size_t i = 0; i < logins->size(); ++i) {
      const std::string lw = "logins[" + std::to_string(i) + "]";
      const json& l = (*logins)[i];
      CheckFields(l, lw, {"name", "password"});
      Login login;
      const json* name = Optional(l, "name");
      if (!name) Fail(lw, "a login needs a \"name\"");
      login.name = GetString(*name, lw + ".name");
      if (const json* pw = Optional(l, "password"))
        login.password = GetString(*pw, lw + ".password");
      s.logins->push_back(std::move(login));
    }
  }

  if (const json* faults = Optional(doc, "faults")) {
    CheckFields(*faults, "faults",
                {"refuseLogins", "dropAtBatch", "dropOnceAtBatch", "refuseLoginsAfterDrop",
                 "malformedMetadataAtBatch", "malformedMetadata"});
    if (const json* refuse = Optional(*faults, "refuseLogins")) {
      s.refuseLogins = GetBool(*refuse, "faults.refuseLogins");
    }
    if (const json* refuse = Optional(*faults, "refuseLoginsAfterDrop")) {
      s.refuseLoginsAfterDrop = GetBool(*refuse, "faults.refuseLoginsAfterDrop");
    }
    auto batchNumber = [&](const char* key, int& out) {
      if (const json* n = Optional(*faults, key)) {
        out = static_cast<int>(GetInt(*n, std::string("faults.") + key, 0, 1'000'000'000));
      }
    };
    batchNumber("dropAtBatch", s.dropAtBatch);
    batchNumber("dropOnceAtBatch", s.dropOnceAtBatch);
    batchNumber("malformedMetadataAtBatch", s.malformedMetadataAtBatch);
    const json* mode = Optional(*faults, "malformedMetadata");
    if (mode) {
      const std::string text = GetString(*mode, "faults.malformedMetadata");
      if (text == "abort") {
        s.malformedMetadata = MalformedMetadata::Abort;
      } else if (text == "stall") {
        s.malformedMetadata = MalformedMetadata::Stall;
      } else {
        Fail("faults.malformedMetadata", "expected \"abort\" or \"stall\", got \"" + text + "\"");
      }
    }
    // One without the other is a half-written fault.
    if (mode && !Optional(*faults, "malformedMetadataAtBatch")) {
      Fail("faults.malformedMetadata", "needs \"malformedMetadataAtBatch\"");
    }
    if (s.malformedMetadataAtBatch > 0 && !mode) {
      Fail("faults.malformedMetadataAtBatch",
           "needs \"malformedMetadata\": \"abort\" or \"stall\"");
    }
  }

  if (const json* batches = Optional(doc, "batches")) {
    if (!batches->is_array()) Fail("batches", "expected an array");
    for (std::size_t i = 0; i < batches->size(); ++i) {
      const std::string bw = "batches[" + std::to_string(i) + "]";
      const json& b = (*batches)[i];
      CheckFields(b, bw,
                  {"sql", "pattern", "ignoreCase", "results", "procedure", "returnStatus", "top"});
      BatchRule rule;
      rule.where = bw;
      const json* sql = Optional(b, "sql");
      const json* pattern = Optional(b, "pattern");
      if ((sql == nullptr) == (pattern == nullptr)) {
        Fail(bw, "a batch has either \"sql\" (exact text) or \"pattern\" (regular expression)");
      }
      if (sql) {
        rule.sql = NormalizeBatch(GetString(*sql, bw + ".sql"));
      } else {
        rule.patternText = GetString(*pattern, bw + ".pattern");
        // libstdc++'s default (backtracking) matcher recurses once per character and blows
        // the stack on batches of a few ten thousand characters; the polynomial matcher does
        // not, at the price of back-references.
        auto flags = std::regex::ECMAScript | std::regex_constants::__polynomial;
        if (const json* icase = Optional(b, "ignoreCase")) {
          if (GetBool(*icase, bw + ".ignoreCase")) flags |= std::regex::icase;
        }
        try {
          rule.pattern.emplace(rule.patternText, flags);
        } catch (const std::regex_error& e) {
          Fail(bw + ".pattern", "not a valid regular expression: " + std::string(e.what()));
        }
      }
      if (sql && Optional(b, "ignoreCase")) Fail(bw + ".ignoreCase", "only applies to a pattern");
      const json* results = Optional(b, "results");
      if (!results) Fail(bw, "a batch needs \"results\" ([] for a batch that returns nothing)");
      rule.results = ParseResults(*results, bw + ".results");
      if (const json* proc = Optional(b, "procedure"))
        rule.procedure = GetBool(*proc, bw + ".procedure");
      if (const json* rs = Optional(b, "returnStatus")) {
        rule.returnStatus = static_cast<std::int32_t>(
            GetInt(*rs, bw + ".returnStatus", -2147483647 - 1, 2147483647));
      }
      if (const json* top = Optional(b, "top")) {
        if (GetString(*top, bw + ".top") != "last")
          Fail(bw + ".top", "the only choice is \"last\"");
        rule.topLast = true;
      }
      s.batches.push_back(std::move(rule));
    }
  }

  if (const json* unknown = Optional(doc, "unknown")) {
    if (unknown->is_string()) {
      const std::string mode = unknown->get<std::string>();
      if (mode == "auto") {
        s.unknown = UnknownMode::Auto;
      } else if (mode == "procedure") {
        s.unknown = UnknownMode::Procedure;
      } else if (mode == "object") {
        s.unknown = UnknownMode::Object;
      } else {
        Fail("unknown", "expected \"auto\", \"procedure\", \"object\" or {\"results\": [...]}");
      }
    } else if (unknown->is_object()) {
      CheckFields(*unknown, "unknown", {"results"});
      const json* results = Optional(*unknown, "results");
      if (!results) Fail("unknown", "expected {\"results\": [...]}");
      s.unknown = UnknownMode::Results;
      s.unknownResults = ParseResults(*results, "unknown.results");
    } else {
      Fail("unknown", "expected \"auto\", \"procedure\", \"object\" or {\"results\": [...]}");
    }
  }

  for (std::size_t i = 0; i < s.batches.size(); ++i) {
    if (s.batches[i].pattern) {
      s.patterns.push_back(i);
    } else {
      s.exact.emplace(s.batches[i].sql, i);  // keeps the first of duplicates
    }
  }
  return s;
}

const BatchRule* Scenario::Find(std::string_view batch) const {
  const std::string normalized = NormalizeBatch(batch);
  if (auto it = exact.find(normalized); it != exact.end()) return &batches[it->second];
  for (std::size_t index : patterns) {
    if (std::regex_match(normalized, *batches[index].pattern)) return &batches[index];
  }
  return nullptr;
}

bool Scenario::AcceptsLogin(std::string_view user, std::string_view password) const {
  if (refuseLogins) return false;
  if (!logins) return true;
  const Login* login = FindLogin(user);
  return login && login->password == password;
}

const Login* Scenario::FindLogin(std::string_view name) const {
  if (!logins) return nullptr;
  // Login names compare case-insensitively (default server collation), passwords exactly.
  const std::string lowered = Lower(name);
  for (const Login& l : *logins) {
    if (Lower(l.name) == lowered) return &l;
  }
  return nullptr;
}

// ---- unknown batches ------------------------------------------------------------------------

std::string ProcedureNameOf(std::string_view batch) {
  Lexer lex(batch);
  std::string first = lex.Name();
  if (!IsExec(first)) return first;
  std::string name = lex.Name();
  if (!name.empty() && name[0] == '@' && lex.Peek() == '=') {
    lex.Advance();  // exec @rc = proc
    name = lex.Name();
  }
  return name;
}

std::string ObjectNameOf(std::string_view batch) {
  Lexer lex(batch);
  while (!lex.AtEnd()) {
    const char c = lex.Peek();
    if (!Lexer::IsWordChar(c) && c != '[' && c != '"') {
      lex.SkipToken();
      continue;
    }
    const std::string word = Lower(lex.Name());
    if (word == "from" || word == "join" || word == "into" || word == "update") {
      const char next = lex.Peek();
      if (next == '(' || next == '@' || next == '\0') continue;
      std::string name = lex.Name();
      if (!name.empty() && name[0] != '@') return name;
    }
  }
  return {};
}

bool LooksLikeProcedureCall(std::string_view batch) {
  Lexer lex(batch);
  const std::string first = lex.Name();
  if (IsExec(first)) return true;
  const std::string last = Lower(LastPart(first));
  return last.rfind("sp_", 0) == 0 || last.rfind("xp_", 0) == 0;
}

ServerMessage UnknownBatchError(UnknownMode mode, std::string_view batch) {
  Lexer lex(batch);
  const bool exec = IsExec(lex.Name());
  std::string object;
  if (mode == UnknownMode::Object || (mode == UnknownMode::Auto && !exec)) {
    object = ObjectNameOf(batch);
  }
  if (mode == UnknownMode::Object || (mode == UnknownMode::Auto && !object.empty())) {
    if (object.empty()) object = ProcedureNameOf(batch);
    return ServerMessage{208, 1, 16, "Invalid object name '" + object + "'.", "", 1};
  }
  return ServerMessage{
      2812, 62, 16, "Could not find stored procedure '" + ProcedureNameOf(batch) + "'.", "", 1};
}

}  // namespace sqlsim
