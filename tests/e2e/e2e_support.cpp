#include "e2e_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "cli/report_command.h"
#include "connection/freetds_config.h"

namespace quorvane::e2e {

namespace {

// FREETDSCONF is set while the process has no other thread, before the first test.
class FreeTdsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { config_ = connection::FreeTdsConfig::ForThisProcess(); }
  void TearDown() override { config_.reset(); }
  connection::FreeTdsConfig* Get() const { return config_.get(); }

 private:
  std::unique_ptr<connection::FreeTdsConfig> config_;
};

FreeTdsEnvironment* const freeTdsEnvironment =
    static_cast<FreeTdsEnvironment*>(::testing::AddGlobalTestEnvironment(new FreeTdsEnvironment));

}  // namespace

connection::FreeTdsConfig* ProcessFreeTdsConfig() {
  return freeTdsEnvironment->Get();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::filesystem::path OutputPath(const std::string& name) {
  static std::atomic<int> counter{0};
  return std::filesystem::path(::testing::TempDir()) /
         ("quorvane-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
          name + ".htm");
}

std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

std::string ServerText(const sqlsim::Server& server) {
  return "127.0.0.1," + std::to_string(server.Port());
}

CommandRun RunCommand(const sqlsim::Server& server, const std::string& name,
                      std::vector<std::string> options) {
  return RunCommandAs(server, name, sqlsim::kDemoLogin, sqlsim::kDemoPassword, std::move(options));
}

CommandRun RunCommandAs(const sqlsim::Server& server, const std::string& name,
                        const std::string& login, const std::string& password,
                        std::vector<std::string> options) {
  const std::filesystem::path path = OutputPath(name);
  std::vector<std::string> args{"--server",         ServerText(server), "--login",    login,
                                "--password-stdin", "--output",         path.string()};
  args.insert(args.end(), options.begin(), options.end());
  std::istringstream in(password + "\n");
  std::ostringstream out;
  std::ostringstream err;
  const int exitCode = cli::RunReportCommand(args, in, out, err, {}, ProcessFreeTdsConfig());
  CommandRun run{exitCode, ReadFile(path), err.str()};
  std::filesystem::remove(path);
  return run;
}

}  // namespace quorvane::e2e
