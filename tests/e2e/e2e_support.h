#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "sqlserver_sim/server.h"

namespace quorvane::connection {
class FreeTdsConfig;
}

// What the end-to-end tests share: files, counting, and the report command against a
// simulator with the demo login.
namespace quorvane::e2e {

std::string ReadFile(const std::filesystem::path& path);
// A new path in the test's temporary folder, different for every call.
std::filesystem::path OutputPath(const std::string& name);
std::size_t CountOf(const std::string& text, const std::string& what);
std::string ServerText(const sqlsim::Server& server);

struct CommandRun {
  int exitCode;
  std::string html;
  std::string err;
};

// The private freetds.conf of the test process, set up before the first test runs.
connection::FreeTdsConfig* ProcessFreeTdsConfig();

// The report command, in this process, against `server` with the demo login, writing to a file
// named after `name` (removed afterwards).
CommandRun RunCommand(const sqlsim::Server& server, const std::string& name,
                      std::vector<std::string> options = {});
// The same with another login.
CommandRun RunCommandAs(const sqlsim::Server& server, const std::string& name,
                        const std::string& login, const std::string& password,
                        std::vector<std::string> options = {});

}  // namespace quorvane::e2e
