#include "section_test.h"

namespace quorvane::testing {

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::vector<std::string> Exchange(std::vector<std::string> lines, const std::string& literalColumn,
                                  const std::string& column, const std::string& alias) {
  for (std::string& line : lines) ReplaceAll(line, literalColumn, column);
  std::string& last = lines.back();
  const std::string tail = " as " + column + ",";
  EXPECT_EQ(last.substr(last.size() - tail.size()), tail);
  last.replace(last.size() - tail.size(), tail.size(), " as " + alias);
  return lines;
}

}  // namespace

std::vector<std::string> SectionTest::OnlyBatchLines() const {
  EXPECT_EQ(conn.Batches().size(), 1u);
  if (conn.Batches().empty()) return {};
  return SplitBatch(conn.Batches().front());
}

std::string Table(const std::vector<std::string>& captions,
                  const std::vector<std::vector<std::string>>& rows) {
  std::string html = "<table class=\"SQLtable\" border=\"1\">\n<tr>\n";
  for (const auto& caption : captions) html += "<th>" + caption + "</th>\n";
  html += "</tr>\n";
  for (const auto& row : rows) {
    html += "<tr>\n";
    for (const auto& cell : row) html += "<td>" + cell + "</td>\n";
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

std::string ErrorBlock(const std::string& message) {
  return "<div class=\"ExceptionError\"><u>Exception Error:</u><br>" + message + "</div>";
}

std::vector<std::string> SplitBatch(const std::string& batch) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = batch.find("\r\n", start);
    lines.push_back(batch.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

// clang-format off
std::vector<std::string> ExpectedDateLines(const std::string& column, const std::string& alias) {
  return Exchange({
      "right('00' + convert(varchar(2), (last_email_date - ((last_email_date / 10000) * 10000) - (((last_email_date - ((last_email_date / 10000) * 10000)) / 100) * 100))), 2) + '/' +",
      "right('00' + convert(varchar(2), ((last_email_date - ((last_email_date / 10000) * 10000)) / 100)), 2) + '/' +",
      "right('0000' + convert(varchar(4), (last_email_date / 10000)), 4) as last_email_date,",
  }, "last_email_date", column, alias);
}

std::vector<std::string> ExpectedTimeLines(const std::string& column, const std::string& alias) {
  return Exchange({
      "right('0' + convert(varchar(2), (last_email_time / 10000)), 2) + ':' +",
      "right('0' + convert(varchar(2), ((last_email_time - ((last_email_time / 10000) * 10000)) / 100)), 2) + ':' +",
      "right('0' + convert(varchar(2), (last_email_time - ((last_email_time / 10000) * 10000) - (((last_email_time - ((last_email_time / 10000) * 10000)) / 100) * 100))), 2) as last_email_time,",
  }, "last_email_time", column, alias);
}
// clang-format on

}  // namespace quorvane::testing
