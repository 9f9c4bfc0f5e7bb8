// Turning results into HTML: tables for row sets, tagged lines for command output. Rows are
// rendered as they are fetched and the HTML goes on in blocks, so that a result of any size
// passes through in little memory.
#include "data/database_error.h"
#include "report/query_runner.h"
#include "report/text.h"

namespace quorvane::report {

namespace {

constexpr int kMaxConsecutiveErrors = 1000;
// HTML held before it is passed on; also how often a long table lets the host in.
constexpr std::size_t kBlockSize = std::size_t{1} << 16;
constexpr std::size_t kRowsBetweenEvents = 4096;

// Column names come from the server (or from anyone on an unencrypted link): escaped like
// values. Our own aliases may break a long heading with "<br>", the one tag let through.
std::string Caption(const std::string& displayName) {
  std::string caption = displayName;
  for (char& c : caption) {
    if (c == '_') c = ' ';
  }
  caption = HtmlEscape(TitleCase(caption));
  constexpr std::string_view kEscapedBreak = "&lt;Br&gt;";
  for (std::size_t at = caption.find(kEscapedBreak); at != std::string::npos;
       at = caption.find(kEscapedBreak, at)) {
    caption.replace(at, kEscapedBreak.size(), "<Br>");
  }
  return caption;
}

// What identifies a result's shape: its column names and kinds.
std::string ColumnSignature(const data::DataSet& dataSet) {
  std::string signature;
  for (int c = 0; c < dataSet.FieldCount(); ++c) {
    signature += dataSet.DisplayName(c);
    signature += '\x1F';
    signature += std::to_string(static_cast<int>(dataSet.Kind(c)));
    signature += '\x1E';
  }
  return signature;
}

// The HTML of one command's results on its way out. Until a data cell is certain to be
// written, everything is held: a command that shows no cell at all is replaced by its error
// blocks and "None.".
class ResultsHtml {
 public:
  explicit ResultsHtml(HtmlSink& out) : out_(out) {}

  std::string& Text() { return html_; }
  void MarkCellsCertain() { cellsCertain_ = true; }
  bool CellsCertain() const { return cellsCertain_; }

  // Passes the held HTML on once it is large and certain to stay.
  void Pass() {
    if (cellsCertain_ && html_.size() >= kBlockSize) PassAll();
  }
  void PassAll() {
    out_.Write(html_);
    html_.clear();
  }

 private:
  HtmlSink& out_;
  std::string html_;
  bool cellsCertain_ = false;
};

// The heading rows of the tables so far, kept for the next ones: a walk over thousands of
// databases writes the same few headings again and again.
class TableHeadings {
 public:
  const std::string& For(const data::DataSet& dataSet, const std::vector<int>& shown) {
    for (const Heading& heading : headings_) {
      if (heading.names.size() != shown.size()) continue;
      bool same = true;
      for (std::size_t k = 0; same && k < shown.size(); ++k) {
        same = heading.names[k] == dataSet.DisplayName(shown[k]);
      }
      if (same) return heading.html;
    }
    if (headings_.size() == kKept) headings_.erase(headings_.begin());
    Heading& heading = headings_.emplace_back();
    heading.html = "<table class=\"SQLtable\" border=\"1\">\n<tr>\n";
    for (const int c : shown) {
      heading.names.push_back(dataSet.DisplayName(c));
      heading.html += "<th>";
      heading.html += Caption(dataSet.DisplayName(c));
      heading.html += "</th>\n";
    }
    heading.html += "</tr>\n";
    return heading.html;
  }

 private:
  static constexpr std::size_t kKept = 8;
  struct Heading {
    std::vector<std::string> names;
    std::string html;
  };
  std::vector<Heading> headings_;
};

// Appends one table for the data set's rows, from its position on; `pause` is called every few
// thousand rows.
template <typename Pause>
void AppendTable(data::DataSet& dataSet, ResultsHtml& out, TableHeadings& headings,
                 const Pause& pause) {
  const data::FieldKindSet& kinds = data::TableFieldKinds;
  const int columns = dataSet.FieldCount();
  std::vector<int> shown;
  for (int c = 0; c < columns; ++c) {
    if (kinds.Contains(dataSet.Kind(c))) shown.push_back(c);
  }
  // A table with a row and a shown column writes a data cell.
  if (!shown.empty() && !dataSet.AtEnd()) out.MarkCellsCertain();
  std::string& html = out.Text();
  html += headings.For(dataSet, shown);
  std::size_t rows = 0;
  try {
    for (; !dataSet.AtEnd(); dataSet.Next()) {
      html += "<tr>\n";
      for (const int c : shown) {
        html += "<td>";
        AppendHtmlEscaped(html, dataSet.DisplayText(c));
        html += "</td>\n";
      }
      html += "</tr>\n";
      out.Pass();
      if (++rows % kRowsBetweenEvents == 0) pause();
    }
  } catch (...) {
    // Stopped in mid-table: what was shown stays, closed.
    html += "</table>\n";
    throw;
  }
  html += "</table>\n";
}

}  // namespace

void QueryRunner::RenderResultSets(data::Query& query, data::DataSet& dataSet, int interval,
                                   HtmlSink& sink) {
  host_.ProcessEvents();
  ResultsHtml out(sink);
  std::string errorBlocks;  // kept apart as well, for the "None." case
  auto addErrorBlock = [&](const std::exception& error) {
    std::string block = ErrorBlock(error);
    if (block.empty()) return;
    block += '\n';
    out.Text() += block;
    errorBlocks += block;
  };
  // Groups (the results of one database in the per-database walk) are told apart by their
  // first result: every group starts with a result shaped like the command's first one. A count
  // of results per group would drift from a database whose procedure returns one more result.
  std::string groupSignature;
  bool groupStarted = false;
  bool tableWritten = false;
  TableHeadings headings;

  try {
    std::optional<data::Result> result;
    if (query.Current()) result = data::Result{query.Current()};
    for (;;) {
      dataSet.Attach(result);
      if (!dataSet.IsOpen()) break;
      if (interval > 0) {
        std::string signature = ColumnSignature(dataSet);
        if (groupSignature.empty()) {
          groupSignature = std::move(signature);
        } else if (signature == groupSignature) {
          groupStarted = true;
        }
      }
      if (dataSet.HasRows()) {
        if (tableWritten) {
          if (interval == 0) {
            out.Text() += "<br>\n";
          } else if (interval > 0 && groupStarted) {
            out.Text() += "<hr>\n";
          }
        }
        AppendTable(dataSet, out, headings, [this] {
          host_.ProcessEvents();
          ThrowIfStopRequested();
        });
        tableWritten = true;
        groupStarted = false;
      }
      // The rows may have stopped early (the link lost while they came): said where they stop.
      if (auto error = dataSet.TakeError()) addErrorBlock(*error);
      // A later statement of the batch may fail (one database of a per-database batch offline):
      // its error block stands where it happened and the walk goes on with what follows it. A
      // backend ends its results once the connection is gone; the cap only guards against one
      // that would not.
      for (int failures = 0;; ++failures) {
        try {
          result = failures < kMaxConsecutiveErrors ? query.NextResult() : std::nullopt;
          // The first row set was told of when the query opened; these are the later ones.
          if (result) Record(std::get<data::RowSetPtr>(*result));
          break;
        } catch (const data::DatabaseError& error) {
          addErrorBlock(error);
        }
      }
      out.Pass();
    }
  } catch (...) {
    dataSet.Close();
    if (out.CellsCertain()) out.PassAll();
    throw;
  }
  dataSet.Close();
  if (!out.CellsCertain()) {
    out.Text() = errorBlocks + "None.\n";
  }
  out.PassAll();
}

std::string QueryRunner::RenderResultSets(data::Query& query, data::DataSet& dataSet,
                                          int interval) {
  StringHtmlSink sink;
  RenderResultSets(query, dataSet, interval, sink);
  return sink.Take();
}

std::string QueryRunner::RenderAsTaggedText(data::Query& query, std::string_view tag) {
  std::string text;
  if (query.Current()) {
    for (; !query.AtEnd(); query.Next()) {
      for (int c = 0; c < query.FieldCount(); ++c) {
        if (data::TextFieldKinds.Contains(query.Kind(c))) {
          // Command output carries names that any user of the server's computer chose.
          AppendHtmlEscaped(text, query.DisplayText(c));
          text += '\n';
        }
      }
    }
  }
  text += '\n';
  if (tag.empty()) return text + "\n";
  return "<" + std::string(tag) + ">" + text + "</" + std::string(tag) + ">\n";
}

}  // namespace quorvane::report
