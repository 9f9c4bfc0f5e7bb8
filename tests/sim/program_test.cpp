// The sqlserver-sim program: arguments, the "listening on" line, the batch log, signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "odbc_client.h"

extern char** environ;

namespace sqlsim {
namespace {

using testing::Cell;
using testing::Connection;
using testing::ConnectionString;
using testing::Describe;
using testing::Rows;
using testing::Statement;

// A child process with its stdout and stderr captured.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<char*> argv;
    std::string program = SQLSIM_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start " + program);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }

  ~Program() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }

  // One line of stdout, or "" after `timeout`.
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c = 0;
      if (read(out_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line.push_back(c);
    }
    return line;
  }

  // Exit status, after SIGTERM when `terminate`.
  int Wait(bool terminate) {
    if (terminate) kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string Stderr() {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(err_, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool exited_ = false;
};

int PortOf(const std::string& line) {
  std::smatch m;
  static const std::regex kListening("listening on 127\\.0\\.0\\.1:(\\d+)");
  return std::regex_match(line, m, kListening) ? std::stoi(m[1]) : 0;
}

std::filesystem::path TempDir() {
  auto dir = std::filesystem::temp_directory_path() /
             ("sqlsim-test-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(Program, ServesAScenarioFileAndLogsBatches) {
  const auto dir = TempDir();
  const auto scenario = dir / "scenario.json";
  const auto log = dir / "batches.sql";
  std::ofstream(scenario) << R"({"logins": [{"name": "sa", "password": "secret"}], "batches": [
    {"sql": "select 42", "results": [{"rows": {"columns": [{"name": "", "type": "int"}], "data": [[42]]}}]}]})";
  Program program({scenario.string(), "--port", "0", "--log", log.string()});
  const std::string line = program.ReadLine();
  const int port = PortOf(line);
  ASSERT_GT(port, 0) << "first line: " << line << "\n" << program.Stderr();

  {
    Connection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(port)))) << Describe(c.Diags());
    Statement st(c);
    ASSERT_EQ(st.ExecDirect("select 42"), SQL_SUCCESS) << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("42")}}));
    Statement unknown(c);
    EXPECT_EQ(unknown.ExecDirect("exec nope"), SQL_ERROR);
  }
  EXPECT_EQ(program.Wait(true), 0);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "select 42\nGO\nexec nope\nGO\n");
  std::filesystem::remove_all(dir);
}

TEST(Program, ServesTheDemoOnAGivenPort) {
  // Find a free port by letting the kernel pick one for a first instance.
  int port = 0;
  {
    Program first({"--demo"});
    port = PortOf(first.ReadLine());
    ASSERT_GT(port, 0);
    EXPECT_EQ(first.Wait(true), 0);
  }
  Program program({"--demo", "--port", std::to_string(port)});
  ASSERT_EQ(PortOf(program.ReadLine()), port);
  Connection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(port)))) << Describe(c.Diags());
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("Select SERVERPROPERTY('ServerName')"), SQL_SUCCESS);
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("QUORVANE-DEMO")}}));
  EXPECT_EQ(program.Wait(true), 0);
}

TEST(Program, ReportsABadScenarioAndBadArguments) {
  const auto dir = TempDir();
  const auto scenario = dir / "bad.json";
  std::ofstream(scenario) << R"({"batches": [{"sql": "x"}]})";
  {
    Program program({scenario.string()});
    EXPECT_EQ(program.Wait(false), 1);
    EXPECT_NE(program.Stderr().find("scenario: batches[0]: a batch needs \"results\""),
              std::string::npos);
  }
  {
    Program program({(dir / "missing.json").string()});
    EXPECT_EQ(program.Wait(false), 1);
    EXPECT_NE(program.Stderr().find("cannot read"), std::string::npos);
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"--demo", "x.json"},
                                               {"--demo", "--port", "70000"},
                                               {"--demo", "--bogus"},
                                               {"--demo", "--port"}}) {
    Program program(args);
    EXPECT_EQ(program.Wait(false), 2);
    EXPECT_NE(program.Stderr().find("usage:"), std::string::npos);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sqlsim
