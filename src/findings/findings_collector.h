#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "findings/facts.h"
#include "findings/finding.h"
#include "report/run_recorder.h"

namespace quorvane::findings {

// Draws the findings from the rows a run reads, as it reads them: no query of its own. A result
// is evidence only when it was read whole: an error raised while it was the batch's latest
// result (a row that could not be read, a failing statement after it) or the run ending in it
// leaves its findings out, as does a section that failed or was switched off, since its rows
// never came. What holds a finding is held only until that is known.
class FindingsCollector : public report::RunRecorder {
 public:
  void RunStarted(const data::DateTime& start) override;
  void SectionStarted(std::string_view heading, std::string_view anchor) override;
  void SectionSkipped(std::string_view) override {}
  void QueryStarted(std::string_view command) override;
  void ResultSetStarted(const std::vector<data::Field>& fields) override;
  void RowFetched(const std::vector<data::Value>& row) override;
  void ResultSetEnded() override {}
  void ErrorRaised(const std::exception&) override { Discard(); }
  void SectionInterrupted(std::string_view) override { Discard(); }
  void RunInterrupted(std::string_view) override { Discard(); }

  // Everything found, in the order found (BySeverity orders them for a reader); asked for once
  // the run has read its last result, whose findings it takes as they are.
  const std::vector<Finding>& Findings();
  // The heading of the section with this anchor, as the run named it.
  std::string HeadingOf(const std::string& anchor) const;

 private:
  // What the latest result holds until it is known to be whole.
  struct Pending {
    std::vector<Finding> findings;
    std::map<std::string, std::int64_t> databaseIds;
    std::optional<std::string> productVersion;
  };
  // The rows of one database's sp_helpfile, waiting for sp_spaceused to name the database.
  struct FileGroup {
    std::size_t resultSet = 0;
    std::vector<RowFacts> rows;
  };

  void Commit();
  void Discard();
  Facts FactsFor(std::vector<RowFacts> rows) const;
  void Check(Source source, const Facts& facts, std::size_t resultSet, std::size_t row);

  data::DateTime reportDate_;
  std::string anchor_;
  std::map<std::string, std::string> headings_;
  bool anySection_ = false;
  std::size_t resultSets_ = 0;  // in the current section, as the snapshot counts them
  std::string command_;         // letter case folded
  std::optional<Source> source_;
  bool namesDatabase_ = false;  // the current result is sp_spaceused's, naming the files' database
  std::shared_ptr<const std::vector<std::string>> columns_;
  std::size_t row_ = 0;
  std::optional<FileGroup> files_;

  Pending pending_;
  std::vector<Finding> found_;
  std::set<std::pair<std::string, std::string>> subjects_;  // (id, subject) found
  std::map<std::string, std::int64_t> databaseIds_;
  std::optional<int> serverMajor_;
  std::string productVersion_;
};

}  // namespace quorvane::findings
