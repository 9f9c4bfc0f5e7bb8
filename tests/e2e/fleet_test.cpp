// The report command over a servers file (--servers), each server reported by a copy of the
// real command through the driver: simulated servers at once, one that nobody listens for and
// one that refuses the login.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>

#include "cli/report_command.h"
#include "e2e_support.h"

namespace quorvane::e2e {
namespace {

using nlohmann::json;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Fleet(const std::filesystem::path& servers, const std::filesystem::path& folder,
              const std::string& input, std::vector<std::string> more = {}) {
  std::vector<std::string> args{"--servers", servers.string(), "--output-dir", folder.string()};
  args.insert(args.end(), more.begin(), more.end());
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunReportCommand(args, in, out, err, QUORVANE_REPORT_COMMAND);
  return {status, out.str(), err.str()};
}

std::filesystem::path WriteServers(const std::string& text) {
  const std::filesystem::path path = OutputPath("servers").replace_extension(".txt");
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The index's rows: the server, the status and the links of each.
struct Row {
  std::string server;
  std::string status;
  std::vector<std::string> links;
};

std::vector<Row> IndexRows(const std::string& html) {
  static const std::regex row(R"(<tr>\n<td>([^<]*)</td>\n<td>(.*)</td>\n(?:<td>.*</td>\n)*?</tr>)");
  static const std::regex link(R"re(<a href="([^"]+)">)re");
  std::vector<Row> rows;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator();
       ++it) {
    Row r{(*it)[1], (*it)[2], {}};
    const std::string text = (*it)[0];
    for (auto l = std::sregex_iterator(text.begin(), text.end(), link); l != std::sregex_iterator();
         ++l) {
      r.links.push_back((*l)[1]);
    }
    rows.push_back(std::move(r));
  }
  return rows;
}

TEST(Fleet, ReportsEveryServerAndListsEvenThoseThatFailed) {
  sqlsim::Server first(sqlsim::DemoScenario());
  sqlsim::Server second(sqlsim::DemoScenario());
  json refusing = json::parse(sqlsim::DemoScenario());
  refusing["faults"] = {{"refuseLogins", true}};
  sqlsim::Server refuser(refusing.dump());
  for (sqlsim::Server* server : {&first, &second, &refuser}) server->Start();
  const std::string unreachable = "127.0.0.1,1";  // nothing listens there
  const std::vector<std::string> servers{ServerText(first), ServerText(second), unreachable,
                                         ServerText(refuser), ServerText(first)};
  const std::filesystem::path list =
      WriteServers("# the demo instances\n\n" + servers[0] + " sa\n  " + servers[1] + "\tsa\n" +
                   servers[2] + " sa\n" + servers[3] + " sa\n" + servers[4] + " sa\n");
  const std::filesystem::path folder = OutputPath("fleet");

  const Outcome run = Fleet(list, folder, std::string(sqlsim::kDemoPassword) + "\n",
                            {"--password-stdin", "--jobs", "3", "--timeout", "5"});
  // The worst of: a report with the demo's exception (1), and connections that failed (3).
  EXPECT_EQ(run.status, cli::kConnectionFailed) << run.err;

  const std::vector<Row> rows = IndexRows(ReadFile(folder / "index.htm"));
  ASSERT_EQ(rows.size(), servers.size()) << run.err;
  // Each report and snapshot under the proposed name of the save dialog.
  const std::regex proposed(R"(127\.0\.0\.1%2C\d+_\d{4}-\d\d-\d\d_\d\d\.\d\d\.\d\d(_2)?\.)");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].server, servers[i]);
    EXPECT_NE(run.err.find("started " + servers[i] + "\n"), std::string::npos) << run.err;
    const bool failed = servers[i] == unreachable || servers[i] == ServerText(refuser);
    const std::string ended = "] " + servers[i] + ": " +
                              (failed ? "Connection failed: " : "Report written with exceptions (");
    EXPECT_NE(run.err.find(ended), std::string::npos) << ended << run.err;
    if (failed) {
      EXPECT_TRUE(rows[i].status.starts_with("<span class=\"ExceptionError\">Connection failed:"))
          << rows[i].status;
      ASSERT_EQ(rows[i].links.size(), 1u) << "the log only";
      continue;
    }
    EXPECT_EQ(rows[i].status, "Report written with exceptions");
    // The findings' counts link to the report, as the report's own link does.
    ASSERT_EQ(rows[i].links.size(), 4u);
    EXPECT_EQ(rows[i].links[0], rows[i].links[1]);
    for (const std::string& link : rows[i].links) {
      EXPECT_TRUE(std::regex_search(link, proposed)) << link;
    }
    EXPECT_NE(ReadFile(folder / "index.htm").find(">2 high, 2 medium, 3 low</a>"),
              std::string::npos);
    const std::string snapshot = std::regex_replace(rows[i].links[2], std::regex("%2C"), ",");
    EXPECT_EQ(json::parse(ReadFile(folder / snapshot))["target"]["server"], servers[i]);
  }
  EXPECT_NE(rows[3].status.find("Login failed for user"), std::string::npos) << rows[3].status;
  EXPECT_NE(rows[0].links[0], rows[4].links[0]) << "the same server twice, two reports";
  std::filesystem::remove_all(folder);
  std::filesystem::remove(list);
}

TEST(Fleet, RefusesAServersFileItCannotUse) {
  const std::filesystem::path folder = OutputPath("fleet-refused");
  const std::filesystem::path wordy = WriteServers("host1\nhost2 sa extra\n");
  Outcome run = Fleet(wordy, folder, "");
  EXPECT_EQ(run.status, cli::kBadCommandLine);
  EXPECT_NE(run.err.find(wordy.string() + " line 2: "), std::string::npos) << run.err;
  // A login needs the one password, which is nowhere.
  ::unsetenv("QUORVANE_PASSWORD");
  const std::filesystem::path login = WriteServers("host1\nhost2 sa\n");
  run = Fleet(login, folder, "");
  EXPECT_EQ(run.status, cli::kBadCommandLine);
  EXPECT_NE(run.err.find("needs a password"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(folder));
  std::filesystem::remove(wordy);
  std::filesystem::remove(login);
}

// Every server is reached as encrypted as the command line asks: a server that cannot encrypt
// is refused, never reported over a plain link.
TEST(Fleet, PassesTheEncryptionOnToEveryServer) {
  sqlsim::Server plain(sqlsim::DemoScenario());
  plain.Start();
  const std::filesystem::path folder = OutputPath("encrypted");
  const Outcome run = Fleet(
      WriteServers(ServerText(plain) + " sa\n"), folder, std::string(sqlsim::kDemoPassword) + "\n",
      {"--password-stdin", "--encrypt", "mandatory", "--trust-server-certificate"});
  EXPECT_EQ(run.status, cli::kConnectionFailed) << run.err;
  const auto rows = IndexRows(ReadFile(folder / "index.htm"));
  ASSERT_EQ(rows.size(), 1u);
  for (const std::string& link : rows[0].links) {  // its log at the most, no report
    EXPECT_FALSE(link.ends_with(".htm")) << link;
  }
  EXPECT_NE(rows[0].status.find("encrypt"), std::string::npos) << rows[0].status;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quorvane::e2e
