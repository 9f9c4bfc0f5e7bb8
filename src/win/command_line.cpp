#include "win/command_line.h"

#include <windows.h>

#include <shellapi.h>

namespace quorvane::win {

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
  CommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& a = arguments[i];
    if (a.size() == 2 && (a[0] == L'-' || a[0] == L'/') && (a[1] == L'd' || a[1] == L'D')) {
      line.debugMode = true;
    } else if (a == L"--demo") {
      line.demo = true;
    } else if (a == L"--demo-scenario" && i + 1 < arguments.size()) {
      line.demo = true;
      line.demoScenarioFile = arguments[++i];
    }
  }
  return line;
}

std::vector<std::wstring> ProcessArguments() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  return arguments;
}

}  // namespace quorvane::win
