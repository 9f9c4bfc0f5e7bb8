// sqlserver-sim: serves a scenario over TDS until interrupted.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "sqlserver_sim/least_privilege.h"
#include "sqlserver_sim/scale.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/server.h"

namespace {

constexpr const char* kUsage =
    "usage: sqlserver-sim [--host ADDRESS] [--port N] [--log FILE] [--scale SIZES] (SCENARIO.json "
    "| --demo)\n"
    "  --port N     port to listen on; 0 (default) picks a free one\n"
    "  --host ADDR  address to listen on (default 127.0.0.1)\n"
    "  --log FILE   append every batch received to FILE, each followed by a GO line\n"
    "  --demo       serve the built-in demo instance instead of a scenario file\n"
    "  --least-privilege  with --demo: answer as the demo answers an auditor's login that is\n"
    "               not sysadmin (audit / Audit-2026; see README.md)\n"
    "  --scale SIZES  grow the instance, e.g. databases=5000,logins=20000,jobs=2000,\n"
    "               history=100000,rows=500000 (any of them; see README.md)\n"
    "  --certificate FILE --key FILE  offer TLS with this certificate (PEM) and key\n"
    "  --force-encryption  with a certificate: every client must encrypt\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "sqlserver-sim: " << problem << "\n";
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioPath;
  std::string logPath;
  std::string host = "127.0.0.1";
  int port = 0;
  bool demo = false;
  bool leastPrivilege = false;
  std::optional<sqlsim::ScaleSizes> scale;
  sqlsim::EncryptionSetting encryption;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    try {
      if (arg == "--port") {
        std::size_t used = 0;
        const std::string text = value();
        port = std::stoi(text, &used);
        if (used != text.size() || port < 0 || port > 65535) return Usage("bad port " + text);
      } else if (arg == "--host") {
        host = value();
      } else if (arg == "--log") {
        logPath = value();
      } else if (arg == "--scale") {
        scale = sqlsim::ParseScaleSizes(value());
      } else if (arg == "--certificate") {
        encryption.certificate = value();
      } else if (arg == "--key") {
        encryption.key = value();
      } else if (arg == "--force-encryption") {
        encryption.required = true;
      } else if (arg == "--demo") {
        demo = true;
      } else if (arg == "--least-privilege") {
        leastPrivilege = true;
      } else if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      } else if (!arg.empty() && arg[0] == '-') {
        return Usage("unknown option " + arg);
      } else if (scenarioPath.empty()) {
        scenarioPath = arg;
      } else {
        return Usage("more than one scenario file given");
      }
    } catch (const std::exception& e) {
      return Usage(e.what());
    }
  }
  if (demo == !scenarioPath.empty()) return Usage("give a scenario file or --demo (one of them)");
  if (leastPrivilege && !demo) return Usage("--least-privilege goes with --demo");
  if (encryption.certificate.empty() != encryption.key.empty() ||
      (encryption.required && encryption.certificate.empty())) {
    return Usage("--certificate and --key go together, and --force-encryption needs them");
  }

  std::string scenario;
  if (demo) {
    scenario = sqlsim::DemoScenario();
    if (leastPrivilege) scenario = sqlsim::LeastPrivilegeScenario(scenario);
  } else {
    std::ifstream in(scenarioPath, std::ios::binary);
    if (!in) {
      std::cerr << "sqlserver-sim: cannot read " << scenarioPath << "\n";
      return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    scenario = text.str();
  }

#ifdef _WIN32
  // Ctrl+C and Ctrl+Break arrive on a thread of their own; the main thread notices the flag.
  static std::atomic<bool> stopRequested{false};
  std::signal(SIGINT, [](int) { stopRequested = true; });
  std::signal(SIGBREAK, [](int) { stopRequested = true; });
  std::signal(SIGTERM, [](int) { stopRequested = true; });
#else
  // Signals are taken synchronously below; block them before any thread exists so that
  // none of the server's threads receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif

  try {
    if (!encryption.certificate.empty()) scenario = sqlsim::WithEncryption(scenario, encryption);
    sqlsim::Server server = scale ? sqlsim::Server(scenario, *scale) : sqlsim::Server(scenario);
    std::ofstream log;
    std::mutex logMutex;
    if (!logPath.empty()) {
      log.open(logPath, std::ios::app | std::ios::binary);
      if (!log) {
        std::cerr << "sqlserver-sim: cannot open log " << logPath << "\n";
        return 1;
      }
      server.OnBatch([&](const std::string& batch) {
        std::lock_guard lock(logMutex);
        log << batch << "\nGO\n";
        log.flush();
      });
    }
    server.Start(host, port);
    std::cout << "listening on " << host << ":" << server.Port() << std::endl;
#ifdef _WIN32
    while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(100));
#else
    int received = 0;
    sigwait(&signals, &received);
#endif
    server.Stop();
  } catch (const std::exception& e) {
    std::cerr << "sqlserver-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
