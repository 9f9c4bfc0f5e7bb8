#include "sqlserver_sim/sql_lexer.h"

#include <cctype>

namespace sqlsim {
namespace {

bool IsWordStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsWordChar(char c) {
  return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '@';
}

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  std::vector<SqlToken> Run() {
    std::vector<SqlToken> tokens;
    while (SkipSpaceAndComments()) {
      const std::size_t start = pos_;
      SqlToken t;
      const char c = s_[pos_];
      const char next = pos_ + 1 < s_.size() ? s_[pos_ + 1] : '\0';
      if (c == '\'' || ((c == 'N' || c == 'n') && next == '\'')) {
        t.kind = SqlToken::Kind::String;
        pos_ += c == '\'' ? 0 : 1;
        ReadQuoted(s_, pos_);
      } else if (c == '"') {
        t.kind = SqlToken::Kind::QuotedName;
        ReadQuoted(s_, pos_);
      } else if (c == '@' && IsWordChar(next)) {
        t.kind = SqlToken::Kind::Variable;
        ++pos_;
        while (pos_ < s_.size() && IsWordChar(s_[pos_])) ++pos_;
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        t.kind = SqlToken::Kind::Number;
        while (pos_ < s_.size() && (IsWordChar(s_[pos_]) || s_[pos_] == '.')) ++pos_;
      } else if (IsWordStart(c) || c == '[') {
        t.kind = SqlToken::Kind::Name;
        Name(t);
      } else {
        ++pos_;
      }
      t.text = std::string(s_.substr(start, pos_ - start));
      tokens.push_back(std::move(t));
    }
    return tokens;
  }

 private:
  // False at the end of the text. Block comments nest, as in T-SQL.
  bool SkipSpaceAndComments() {
    while (pos_ < s_.size()) {
      if (std::isspace(static_cast<unsigned char>(s_[pos_]))) {
        ++pos_;
      } else if (s_.substr(pos_, 2) == "--") {
        const auto end = s_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? s_.size() : end + 1;
      } else if (s_.substr(pos_, 2) == "/*") {
        int depth = 0;
        do {
          if (s_.substr(pos_, 2) == "/*") {
            ++depth;
            pos_ += 2;
          } else if (s_.substr(pos_, 2) == "*/") {
            --depth;
            pos_ += 2;
          } else {
            ++pos_;
          }
        } while (depth > 0 && pos_ < s_.size());
      } else {
        return true;
      }
    }
    return false;
  }

  void Name(SqlToken& t) {
    while (pos_ < s_.size()) {
      if (s_[pos_] == '[') {
        t.parts.push_back(ReadQuoted(s_, pos_));
        t.bracketed = true;
      } else if (IsWordStart(s_[pos_])) {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && IsWordChar(s_[pos_])) ++pos_;
        t.parts.emplace_back(s_.substr(start, pos_ - start));
        t.bracketed = false;
      } else {
        t.parts.emplace_back();  // "master..x": the empty part between the dots
        t.bracketed = false;
      }
      if (pos_ >= s_.size() || s_[pos_] != '.') break;
      ++pos_;
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string ReadQuoted(std::string_view text, std::size_t& pos) {
  const char close = text[pos] == '[' ? ']' : text[pos];
  std::string out;
  ++pos;
  while (pos < text.size()) {
    if (text[pos] == close) {
      if (pos + 1 < text.size() && text[pos + 1] == close) {
        out.push_back(close);
        pos += 2;
        continue;
      }
      ++pos;
      break;
    }
    out.push_back(text[pos++]);
  }
  return out;
}

std::string SqlToken::Joined() const {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i > 0 ? "." : "") + parts[i];
  return out;
}

bool SqlToken::Is(std::string_view keyword) const {
  if (kind != Kind::Name || parts.size() != 1 || bracketed || parts[0].size() != keyword.size()) {
    return false;
  }
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(parts[0][i])) !=
        std::tolower(static_cast<unsigned char>(keyword[i]))) {
      return false;
    }
  }
  return true;
}

std::vector<SqlToken> LexSql(std::string_view sql) {
  return Lexer(sql).Run();
}

}  // namespace sqlsim
