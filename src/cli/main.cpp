#include <iostream>
#include <string>
#include <vector>

#include "cli/console_setup.h"
#include "cli/report_command.h"

int main(int argc, char** argv) {
  quorvane::cli::UseUtf8Console();
  std::vector<std::string> args = quorvane::cli::Utf8Arguments(argc, argv);
  try {
    return quorvane::cli::RunReportCommand(args, std::cin, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "quorvane-report: " << error.what() << "\n";
    return quorvane::cli::kReportFailed;
  }
}
