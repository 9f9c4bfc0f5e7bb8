// The desktop program: the start-up splash, the single-instance check, the main window.
#include <QScreen>
#include <QStringList>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/about_box.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "connection/freetds_config.h"
#include "connection/settings.h"
#include "report/fatal_signal.h"
#include "shell/command_line.h"
#include "sqlserver_sim/server.h"

namespace {

using quorvane::app::Application;
using quorvane::app::SingleInstance;
using quorvane::app::TAboutBox;
using quorvane::app::TForm1;
using quorvane::app::WindowOptions;

// The splash stands two seconds; the demo shortens it, and QUORVANE_SPLASH_MS sets it (tests).
std::uint32_t SplashMilliseconds(bool demo) {
  bool ok = false;
  const int fromEnvironment = qEnvironmentVariableIntValue("QUORVANE_SPLASH_MS", &ok);
  if (ok && fromEnvironment >= 0) return static_cast<std::uint32_t>(fromEnvironment);
  return demo ? 500 : 2000;
}

}  // namespace

int main(int argc, char** argv) {
  // Before Qt starts any thread: it sets FREETDSCONF.
  const auto freetds = quorvane::connection::FreeTdsConfig::ForThisProcess();
  // A driver that aborts or crashes mid-run still leaves the report gathered so far, closed;
  // the program then ends by that signal, as it would have.
  quorvane::report::fatal_signal::Install(0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // the embedded browser needs it
  Application app(argc, argv);
  app.setApplicationName("quorvane");
  // No display name: Qt would append it to every window title under X11 ("Warning — ..."),
  // and each window and box sets its own caption exactly.
  app.setWindowIcon(QIcon(":/quorvane.svg"));
  const QStringList arguments = app.arguments();
  std::vector<std::string> switches;
  for (const QString& argument : arguments) switches.push_back(argument.toStdString());
  const bool demo = quorvane::shell::DemoSwitch(switches);

  auto splash = std::make_unique<TAboutBox>();
  splash->MakeSplash();
  splash->show();
  if (QScreen* screen = splash->screen()) {
    splash->move(screen->availableGeometry().center() - splash->rect().center());
  }
  quorvane::app::LongDelay(SplashMilliseconds(demo));
  splash->repaint();

  WindowOptions options;
  options.debugMode = quorvane::shell::DebugSwitch(switches);
  options.freetds = freetds.get();
  options.settings = quorvane::connection::LocateSettings(quorvane::connection::ExecutableFolder());

  SingleInstance instance(
      SingleInstance::NameFor(QString::fromStdString(options.settings.file.string())));
  if (!instance.Claim(arguments)) return 0;

  std::unique_ptr<sqlsim::Server> simulator;
  if (demo) {
    simulator = std::make_unique<sqlsim::Server>(sqlsim::DemoScenario());
    simulator->Start("127.0.0.1", 0);
    options.demoServer = QStringLiteral("127.0.0.1,%1").arg(simulator->Port());
    options.demoLogin = sqlsim::kDemoLogin;
    options.demoPassword = sqlsim::kDemoPassword;
    std::cerr << "quorvane: the simulated demo server listens on "
              << options.demoServer.toStdString() << "\n";
  }

  TForm1 window(std::move(options));
  app.SetErrorHandler(
      [&window](const std::exception& error) { window.ApplicationEvents1Exception(error); });
  QObject::connect(&instance, &SingleInstance::activationRequested, &window, &TForm1::Activate);
  splash.reset();
  window.show();
  const int status = app.exec();
  // A connection attempt that would not stop is still using the window's objects; everything
  // the user needs is saved, so leave without tearing them down under it.
  if (window.RunAbandoned()) std::_Exit(status);
  return status;
}
