#include "sqlserver_sim/top_rows.h"

#include <algorithm>
#include <charconv>

#include "sqlserver_sim/sql_lexer.h"

namespace sqlsim {
namespace {

std::optional<std::uint64_t> Digits(const SqlToken& t) {
  if (t.kind != SqlToken::Kind::Number) return std::nullopt;
  std::uint64_t n = 0;
  const char* end = t.text.data() + t.text.size();
  const auto [ptr, ec] = std::from_chars(t.text.data(), end, n);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return n;
}

// The first n rows of a generated row set.
class FirstRows final : public RowSource {
 public:
  FirstRows(std::shared_ptr<const RowSource> inner, std::uint64_t n)
      : inner_(std::move(inner)), n_(std::min(n, inner_->Size())) {}
  const std::vector<Column>& Columns() const override { return inner_->Columns(); }
  std::uint64_t Size() const override { return n_; }
  void Row(std::uint64_t index, std::vector<Value>& out) const override { inner_->Row(index, out); }

 private:
  std::shared_ptr<const RowSource> inner_;
  std::uint64_t n_;
};

}  // namespace

std::optional<std::uint64_t> LastTopCount(std::string_view batch) {
  const std::vector<SqlToken> tokens = LexSql(batch);
  auto symbol = [&](std::size_t i, char c) {
    return i < tokens.size() && tokens[i].kind == SqlToken::Kind::Symbol && tokens[i].text[0] == c;
  };
  std::optional<std::uint64_t> last;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (!tokens[i].Is("top")) continue;
    std::optional<std::uint64_t> n = Digits(tokens[i + 1]);
    std::size_t after = i + 2;
    if (!n && symbol(i + 1, '(') && i + 2 < tokens.size() && symbol(i + 3, ')')) {
      n = Digits(tokens[i + 2]);
      after = i + 4;
    }
    if (n && !(after < tokens.size() && tokens[after].Is("percent"))) last = n;
  }
  return last;
}

std::vector<ResultItem> CutLastRowSet(const std::vector<ResultItem>& items, std::uint64_t n) {
  std::vector<ResultItem> out = items;
  const auto last = std::find_if(out.rbegin(), out.rend(), [](const ResultItem& item) {
    return item.kind == ResultItem::Kind::Rows;
  });
  if (last == out.rend()) return out;
  if (last->source) {
    if (last->source->Size() > n) last->source = std::make_shared<FirstRows>(last->source, n);
    return out;
  }
  if (last->rows->rows.size() <= n) return out;
  auto cut = std::make_shared<RowSet>();
  cut->columns = last->rows->columns;
  cut->rows.assign(last->rows->rows.begin(),
                   last->rows->rows.begin() + static_cast<std::ptrdiff_t>(n));
  last->rows = std::move(cut);
  return out;
}

}  // namespace sqlsim
