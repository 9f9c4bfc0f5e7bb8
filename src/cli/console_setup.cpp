#include "cli/console_setup.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include "data/wide_text.h"
#endif

namespace quorvane::cli {

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) args.push_back(data::Utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return args;
}

namespace {
UINT originalOutputCodePage = 0;
}

void UseUtf8Console() {
  originalOutputCodePage = ::GetConsoleOutputCP();
  if (originalOutputCodePage == 0 || originalOutputCodePage == CP_UTF8) return;
  if (::SetConsoleOutputCP(CP_UTF8)) {
    std::atexit([] { ::SetConsoleOutputCP(originalOutputCodePage); });
  }
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void UseUtf8Console() {}

#endif

}  // namespace quorvane::cli
