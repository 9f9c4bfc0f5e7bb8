#pragma once

#include <optional>
#include <string>
#include <vector>

#include "connection/encryption.h"

namespace quorvane::cli {

// What the report command was asked to do.
struct CliOptions {
  std::string server;
  std::optional<std::string> login;  // none: Windows authentication
  bool passwordFromStdin = false;
  std::string provider = "SQLOLEDB.1";
  int timeoutSeconds = 15;       // the login's; 0: no limit
  int queryTimeoutSeconds = 15;  // each statement's; 0: no limit
  connection::EncryptionOptions encryption;
  bool allowCmdShell = true;
  bool allowOACreate = true;
  bool ignoreReplication = false;
  int jobHistory = 100;
  int jobHistoryLimit = 20;
  std::string output;  // empty: the proposed name, in the current folder
  std::string json;    // the run's snapshot; empty: none
  // Many servers: one per line of this file, each report and snapshot in `outputDir`.
  std::string servers;
  std::string outputDir;
  int jobs = 4;           // servers reported at once
  bool findings = false;  // the report's Findings section
  bool debug = false;
  bool demo = false;
  bool help = false;
};

// Thrown for a command line that cannot be used; the message says what is wrong.
struct UsageError {
  std::string message;
};

// Parses the arguments after the program name. Throws UsageError.
CliOptions ParseCommandLine(const std::vector<std::string>& args);

// Refuses a server name that would end or nest the connection string's fields. Throws UsageError.
void CheckServerName(const std::string& name);

std::string UsageText();

}  // namespace quorvane::cli
