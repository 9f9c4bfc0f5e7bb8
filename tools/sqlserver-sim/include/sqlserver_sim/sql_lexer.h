#pragma once

#include <string>
#include <string_view>
#include <vector>

// The words of a T-SQL batch, for the checks that look at what a batch names: comments are
// dropped, string literals, quoted names and variables kept apart from plain names.
namespace sqlsim {

// The text of a quoted name or string starting at text[pos] (its opening quote: ', " or [),
// with a doubled closing quote read as one; `pos` ends after the closing quote.
std::string ReadQuoted(std::string_view text, std::size_t& pos);

struct SqlToken {
  enum class Kind {
    Name,        // master..sysdatabases, [dbo].[x], #drives, TOP, EXEC (keywords are names too)
    QuotedName,  // "Total(MB)"
    String,      // 'x', N'x'
    Variable,    // @x, @@version
    Number,      // 42, 1.0, 0x01
    Symbol,      // any other single character
  };
  Kind kind = Kind::Symbol;
  std::string text;                // as written
  std::vector<std::string> parts;  // Name: the dotted parts, brackets removed; "a..b" has 3
  bool bracketed = false;          // Name: the last part was written in [brackets]

  // The name with its brackets removed: "master..SysDatabases".
  std::string Joined() const;
  const std::string& Last() const { return parts.back(); }
  // A one-part plain name equal to `keyword` ignoring case.
  bool Is(std::string_view keyword) const;
};

std::vector<SqlToken> LexSql(std::string_view sql);

}  // namespace sqlsim
