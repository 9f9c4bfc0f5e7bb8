#include <iostream>
#include <string>
#include <vector>

#include "cli/console_setup.h"
#include "cli/report_command.h"
#include "connection/freetds_config.h"
#include "report/fatal_signal.h"

int main(int argc, char** argv) {
  // Before any thread starts: it sets FREETDSCONF.
  const auto freetds = quorvane::connection::FreeTdsConfig::ForThisProcess();
  // A driver that aborts or crashes still leaves the report gathered so far, closed.
  quorvane::report::fatal_signal::Install(quorvane::cli::kReportFailed);
  quorvane::cli::UseUtf8Console();
  std::vector<std::string> args = quorvane::cli::Utf8Arguments(argc, argv);
  try {
    return quorvane::cli::RunReportCommand(args, std::cin, std::cout, std::cerr, {}, freetds.get());
  } catch (const std::exception& error) {
    std::cerr << "quorvane-report: " << error.what() << "\n";
    return quorvane::cli::kReportFailed;
  }
}
