// quorvane.exe: the start-up splash, the single-instance check, the main window and its
// message loop.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "connection/freetds_config.h"
#include "connection/settings.h"
#include "data/path_text.h"
#include "report/fatal_signal.h"
#include "shell/command_line.h"
#include "sqlserver_sim/server.h"
#include "win/about_box.h"
#include "win/command_line.h"
#include "win/main_window.h"
#include "win/single_instance.h"
#include "win/window_text.h"

namespace {

using namespace quorvane;

// The splash stands two seconds; the demo shortens it, and QUORVANE_SPLASH_MS sets it (tests).
std::uint32_t SplashMilliseconds(bool demo) {
  wchar_t text[16] = {};
  if (GetEnvironmentVariableW(L"QUORVANE_SPLASH_MS", text, 16) > 0) {
    return static_cast<std::uint32_t>(std::wcstoul(text, nullptr, 10));
  }
  return demo ? 500 : 2000;
}

std::string ReadScenario(const std::wstring& file) {
  std::ifstream in{std::filesystem::path(file), std::ios::binary};
  if (!in) throw std::runtime_error("Cannot read the scenario " + win::Utf8(file));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int Run(int showCommand) {
  // Before any other thread: it sets FREETDSCONF.
  const auto freetds = connection::FreeTdsConfig::ForThisProcess();
  report::fatal_signal::Install(0);
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                         ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                         ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  const std::vector<std::wstring> wide = win::ProcessArguments();
  std::vector<std::string> arguments{"quorvane"};
  for (const std::wstring& argument : wide) arguments.push_back(win::Utf8(argument));
  const win::CommandLine line = win::ParseCommandLine(wide);
  const bool demo = line.demo || shell::DemoSwitch(arguments);

  auto splash = std::make_unique<win::Splash>();
  win::LongDelay(SplashMilliseconds(demo));
  if (splash->Window()) RedrawWindow(splash->Window(), nullptr, nullptr, RDW_UPDATENOW);

  shell::WindowCoreOptions options;
  options.debugMode = shell::DebugSwitch(arguments);
  options.freetds = freetds.get();
  options.settings = connection::LocateSettings(connection::ExecutableFolder());

  win::SingleInstance instance(options.settings.file);
  if (!instance.Claim()) return 0;

  std::unique_ptr<sqlsim::Server> simulator;
  if (demo) {
    simulator = std::make_unique<sqlsim::Server>(line.demoScenarioFile.empty()
                                                     ? sqlsim::DemoScenario()
                                                     : ReadScenario(line.demoScenarioFile));
    simulator->Start("127.0.0.1", 0);
    options.demo = shell::DemoInstance{"127.0.0.1," + std::to_string(simulator->Port()),
                                       sqlsim::kDemoLogin, sqlsim::kDemoPassword};
  }

  win::TForm1 window(std::move(options));
  instance.Publish(window.Handle());
  splash.reset();
  window.Show(showCommand);

  MSG message;
  int status = 0;
  while (true) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      status = got == 0 ? static_cast<int>(message.wParam) : 1;
      break;
    }
    if (!window.PreTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  // A connection attempt that would not stop is still using the window's objects; everything
  // the user needs is saved, so leave without tearing them down under it.
  if (window.RunAbandoned()) std::_Exit(status);
  return status;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  try {
    return Run(showCommand);
  } catch (const std::exception& error) {
    MessageBoxW(nullptr, quorvane::win::Wide(error.what()).c_str(), L"SQL Server Quorvane",
                MB_OK | MB_ICONERROR);
    return 1;
  }
}
