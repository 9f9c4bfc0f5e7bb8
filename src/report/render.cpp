// Turning results into HTML: tables for row sets, tagged lines for command output.
#include "data/database_error.h"
#include "report/query_runner.h"
#include "report/text.h"

namespace quorvane::report {

namespace {

constexpr int kMaxConsecutiveErrors = 1000;

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

// Appends one table for the data set's rows; sets `cellRendered` when a data cell was written.
void AppendTable(data::DataSet& dataSet, std::string& html, bool& cellRendered) {
  const data::FieldKindSet& kinds = data::TableFieldKinds;
  const int columns = dataSet.FieldCount();
  html += "<table class=\"SQLtable\" border=\"1\">\n<tr>\n";
  for (int c = 0; c < columns; ++c) {
    if (kinds.Contains(dataSet.Kind(c))) {
      html += "<th>" + Caption(dataSet.DisplayName(c)) + "</th>\n";
    }
  }
  html += "</tr>\n";
  for (; !dataSet.AtEnd(); dataSet.Next()) {
    html += "<tr>\n";
    for (int c = 0; c < columns; ++c) {
      if (kinds.Contains(dataSet.Kind(c))) {
        cellRendered = true;
        html += "<td>" + HtmlEscape(dataSet.DisplayText(c)) + "</td>\n";
      }
    }
    html += "</tr>\n";
  }
  html += "</table>\n";
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

}  // namespace

std::string QueryRunner::RenderResultSets(data::Query& query, data::DataSet& dataSet,
                                          int interval) {
  host_.ProcessEvents();
  std::string html;
  std::string errorBlocks;  // kept apart as well, for the "None." case
  bool cellRendered = false;
  // Groups (the results of one database in the per-database walk) are told apart by their
  // first result: every group starts with a result shaped like the command's first one. A count
  // of results per group would drift from a database whose procedure returns one more result.
  std::string groupSignature;
  bool groupStarted = false;
  bool tableWritten = false;

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
          html += "<br>\n";
        } else if (interval > 0 && groupStarted) {
          html += "<hr>\n";
        }
      }
      AppendTable(dataSet, html, cellRendered);
      tableWritten = true;
      groupStarted = false;
    }
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
        std::string block = ErrorBlock(error);
        if (!block.empty()) {
          html += block + "\n";
          errorBlocks += block + "\n";
        }
      }
    }
  }
  dataSet.Close();
  if (!cellRendered) return errorBlocks + "None.\n";
  return html;
}

std::string QueryRunner::RenderAsTaggedText(data::Query& query, std::string_view tag) {
  std::string text;
  if (query.Current()) {
    for (; !query.AtEnd(); query.Next()) {
      for (int c = 0; c < query.FieldCount(); ++c) {
        if (data::TextFieldKinds.Contains(query.Kind(c))) {
          // Command output carries names that any user of the server's computer chose.
          text += HtmlEscape(query.DisplayText(c));
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
