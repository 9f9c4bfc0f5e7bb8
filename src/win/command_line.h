// The program's command line: "-d" or "/d" (any letter case) for debug mode, "--demo" for the
// built-in simulated instance, "--demo-scenario FILE" for the same with a scenario of the tests'.
#pragma once

#include <string>
#include <vector>

namespace quorvane::win {

struct CommandLine {
  bool debugMode = false;
  bool demo = false;
  std::wstring demoScenarioFile;  // empty: the built-in demo scenario
};

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);
// The arguments of this process, without the program's name.
std::vector<std::wstring> ProcessArguments();

}  // namespace quorvane::win
