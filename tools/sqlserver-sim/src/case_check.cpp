#include "sqlserver_sim/case_check.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "sqlserver_sim/sql_lexer.h"
#include "sqlserver_sim/system_catalog.h"

namespace sqlsim {
namespace {

using Kind = SqlToken::Kind;

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// How a written name compares with a known one.
enum class Match { None, Exact, WrongCase };

Match Compare(std::string_view written, std::string_view known) {
  if (written == known) return Match::Exact;
  return SameIgnoringCase(written, known) ? Match::WrongCase : Match::None;
}

// "sys.databases" compares its schema too; "sysdatabases" only the last part.
Match CompareTable(const SqlToken& t, std::string_view known) {
  const auto dot = known.find('.');
  if (dot == std::string_view::npos) return Compare(t.Last(), known);
  if (t.parts.size() < 2) return Match::None;
  const Match schema = Compare(t.parts[t.parts.size() - 2], known.substr(0, dot));
  const Match object = Compare(t.Last(), known.substr(dot + 1));
  if (schema == Match::None || object == Match::None) return Match::None;
  return schema == Match::Exact && object == Match::Exact ? Match::Exact : Match::WrongCase;
}

bool IsName(const std::vector<SqlToken>& tokens, std::size_t i) {
  return i < tokens.size() && tokens[i].kind == Kind::Name;
}

bool IsSymbol(const std::vector<SqlToken>& tokens, std::size_t i, char c) {
  return i < tokens.size() && tokens[i].kind == Kind::Symbol && tokens[i].text[0] == c;
}

// A plain name that may refer to something: not [bracketed] and not an alias after AS.
bool IsReference(const std::vector<SqlToken>& tokens, std::size_t i) {
  return IsName(tokens, i) && !tokens[i].bracketed && !tokens[i].Last().empty() &&
         !(i > 0 && tokens[i - 1].Is("as"));
}

// The procedure of EXEC name, EXEC @rc = name, or a batch that starts with a name.
bool IsCalled(const std::vector<SqlToken>& tokens, std::size_t i) {
  if (i == 0) return true;
  auto isExec = [&](std::size_t k) { return tokens[k].Is("exec") || tokens[k].Is("execute"); };
  if (isExec(i - 1)) return true;
  return i >= 3 && IsSymbol(tokens, i - 1, '=') && tokens[i - 2].kind == Kind::Variable &&
         isExec(i - 3);
}

// The columns of every CREATE TABLE #name (column type ..., ...): the first name of each
// item at the top level of the parentheses, constraints left out.
std::vector<std::string> TemporaryColumns(const std::vector<SqlToken>& tokens) {
  static constexpr std::string_view kConstraints[] = {"constraint", "primary", "unique",
                                                      "check",      "foreign", "index"};
  std::vector<std::string> columns;
  for (std::size_t i = 0; i + 3 < tokens.size(); ++i) {
    if (!tokens[i].Is("create") || !tokens[i + 1].Is("table") || !IsName(tokens, i + 2) ||
        tokens[i + 2].parts[0].rfind('#', 0) != 0 || !IsSymbol(tokens, i + 3, '(')) {
      continue;
    }
    int depth = 0;
    bool itemStart = false;
    for (std::size_t k = i + 3; k < tokens.size(); ++k) {
      if (IsSymbol(tokens, k, '(')) {
        itemStart = ++depth == 1;
      } else if (IsSymbol(tokens, k, ')')) {
        if (--depth == 0) break;
      } else if (depth == 1 && IsSymbol(tokens, k, ',')) {
        itemStart = true;
      } else if (itemStart) {
        itemStart = false;
        const bool constraint = std::any_of(std::begin(kConstraints), std::end(kConstraints),
                                            [&](std::string_view c) { return tokens[k].Is(c); });
        if (IsName(tokens, k) && !constraint) columns.push_back(tokens[k].Last());
      }
    }
  }
  return columns;
}

ServerMessage Error(std::int32_t number, std::uint8_t state, std::string text) {
  return ServerMessage{number, state, 16, std::move(text), "", 1};
}

}  // namespace

std::optional<ServerMessage> CaseSensitiveError(std::string_view batch) {
  const std::vector<SqlToken> tokens = LexSql(batch);
  std::vector<std::string_view> columns;  // of the system tables the batch names
  std::vector<bool> isTable(tokens.size(), false);

  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (!IsReference(tokens, i)) continue;
    const SqlToken& t = tokens[i];
    if (IsCalled(tokens, i)) {
      for (std::string_view procedure : SystemProcedures()) {
        if (Compare(t.Last(), procedure) == Match::WrongCase) {
          return Error(2812, 62, "Could not find stored procedure '" + t.Joined() + "'.");
        }
      }
      continue;
    }
    for (const SystemTable& table : SystemTables()) {
      const Match match = CompareTable(t, table.name);
      if (match == Match::WrongCase) {
        return Error(208, 1, "Invalid object name '" + t.Joined() + "'.");
      }
      if (match == Match::Exact) {
        isTable[i] = true;
        columns.insert(columns.end(), table.columns.begin(), table.columns.end());
      }
    }
  }

  const std::vector<std::string> temporary = TemporaryColumns(tokens);
  columns.insert(columns.end(), temporary.begin(), temporary.end());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (!IsReference(tokens, i) || isTable[i] || IsCalled(tokens, i) ||
        IsSymbol(tokens, i + 1, '(')) {
      continue;  // a function call is no column
    }
    const std::string& word = tokens[i].Last();
    bool exact = false;
    bool wrongCase = false;
    for (std::string_view column : columns) {
      const Match match = Compare(word, column);
      exact = exact || match == Match::Exact;
      wrongCase = wrongCase || match == Match::WrongCase;
    }
    if (wrongCase && !exact) return Error(207, 1, "Invalid column name '" + word + "'.");
  }
  return std::nullopt;
}

}  // namespace sqlsim
