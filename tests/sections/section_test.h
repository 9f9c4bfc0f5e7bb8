#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/query_runner.h"
#include "report/report_buffer.h"
#include "support/recording_host.h"
#include "support/scripted_connection.h"

namespace quorvane::testing {

// One open scripted connection with the runner the generators work on.
class SectionTest : public ::testing::Test {
 protected:
  void SetUp() override { conn.Open(); }

  // Every batch fails before its first result, as for a login without the rights.
  void FailEveryBatch() { conn.SetDefault({ScriptedError{kDenied, 229}}); }
  static inline const std::string kDenied =
      "The EXECUTE permission was denied on the object 'x', database 'master', schema 'sys'.";

  // The lines of the only batch sent so far.
  std::vector<std::string> OnlyBatchLines() const;

  ScriptedConnection conn;
  report::ReportBuffer buf;
  RecordingHost host;
  report::QueryRunner q{conn, buf, host};
};

using Generator = void (*)(report::QueryRunner&);

// The markup the report uses, written out here so that the tests do not lean on the code
// under test.
std::string Table(const std::vector<std::string>& captions,
                  const std::vector<std::vector<std::string>>& rows);
std::string ErrorBlock(const std::string& message);
inline const std::string kNone = "None.\n";
inline const std::string kEmptyPre = "<pre>\n</pre>\n";

// A batch split at CR LF.
std::vector<std::string> SplitBatch(const std::string& batch);

// The literal lines for last_email_date / last_email_time, with the column and the alias
// exchanged: what any other date or time column must look like.
std::vector<std::string> ExpectedDateLines(const std::string& column, const std::string& alias);
std::vector<std::string> ExpectedTimeLines(const std::string& column, const std::string& alias);

}  // namespace quorvane::testing
