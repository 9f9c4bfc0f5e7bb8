// The report's bytes through the real driver, at the demo's size and grown: fingerprints of
// reports made by an earlier build of the report path, and values and row sets far larger than
// any buffer on the way.
#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <regex>

#include "e2e_support.h"
#include "sqlserver_sim/scale.h"

namespace quorvane::e2e {
namespace {

using nlohmann::json;

// The report without the two lines that change from run to run (the time it was made).
std::string WithoutCreationTimes(const std::string& html) {
  static const std::regex kCreated("Report created on [^<]* by ");
  return std::regex_replace(html, kCreated, "Report created on (time) by ");
}

// FNV-1a, 64 bits: enough to tell two reports apart without keeping a copy of either.
std::uint64_t Fingerprint(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3u;
  }
  return hash;
}

// When one of these changes on purpose, the new value is printed by the failing test; compare
// the report with one from the previous commit before taking it.
struct Expected {
  std::size_t size;
  std::uint64_t fingerprint;
};

void ExpectSameReport(const CommandRun& run, Expected expected) {
  ASSERT_EQ(run.exitCode, 1) << run.err;  // the offline database's one exception
  const std::string masked = WithoutCreationTimes(run.html);
  EXPECT_EQ(masked.size(), expected.size);
  EXPECT_EQ(Fingerprint(masked), expected.fingerprint)
      << "0x" << std::hex << Fingerprint(masked) << std::dec << " for " << masked.size()
      << " bytes";
}

TEST(ReportFidelity, TheDemoReportIsByteForByteWhatItWas) {
  sqlsim::Server server(sqlsim::DemoScenario());
  server.Start();
  ExpectSameReport(RunCommand(server, "demo"), {65258, 0x4ad3cf8bb7d14e44});
}

TEST(ReportFidelity, AGrownInstanceIsByteForByteWhatItWas) {
  sqlsim::Server server(sqlsim::DemoScenario(),
                        sqlsim::ParseScaleSizes("databases=300,logins=200,jobs=50,history=300"));
  server.Start();
  ExpectSameReport(RunCommand(server, "grown"), {675441, 0x13f179601e390f7d});
}

TEST(ReportFidelity, TwoHundredThousandRowsAreAllInTheirTable) {
  sqlsim::Server server(sqlsim::DemoScenario(), sqlsim::ParseScaleSizes("rows=200000"));
  server.Start();
  const CommandRun run = RunCommand(server, "rows");
  ASSERT_EQ(run.exitCode, 1) << run.err;
  const std::size_t heading = run.html.find("Job History");
  ASSERT_NE(heading, std::string::npos);
  const std::size_t start = run.html.find("<table", heading);
  const std::size_t end = run.html.find("</table>", start);
  ASSERT_NE(end, std::string::npos);
  const std::string table = run.html.substr(start, end - start);
  EXPECT_EQ(CountOf(table, "<tr>"), 200'000u + 1);  // and the heading row
  EXPECT_TRUE(run.html.ends_with("</body>\r\n</html>\r\n"));
}

TEST(ReportFidelity, ATenMegabyteValueArrivesWholeAndEscaped) {
  // Markup and a two-byte character at every 1,000th place, so that no chunk boundary of the
  // driver, the reader or the writer can split one unnoticed.
  std::string value;
  std::string escaped;
  for (int i = 0; value.size() < 10'000'000; ++i) {
    const std::string filler(996, static_cast<char>('a' + i % 26));
    value += filler + "<&\xC3\xA9";
    escaped += filler + "&lt;&amp;\xC3\xA9";
  }
  json scenario = json::parse(sqlsim::DemoScenario());
  for (json& rule : scenario["batches"]) {
    if (rule.value("sql", "") != "exec master..sp_helpdevice") continue;
    json& rows = rule["results"][0]["rows"];
    rows["columns"][2]["type"] = "nvarchar(max)";
    rows["data"][0][2] = value;
  }
  sqlsim::Server server(scenario.dump());
  server.Start();
  const CommandRun run = RunCommand(server, "value");
  ASSERT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(CountOf(run.html, "<td>" + escaped + "</td>"), 1u);
}

}  // namespace
}  // namespace quorvane::e2e
