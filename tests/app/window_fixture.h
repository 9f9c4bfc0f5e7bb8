// A main window on a private settings folder, a simulated SQL Server, and helpers that answer
// the modal boxes a run opens.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/main_window.h"
#include "connection/freetds_config.h"
#include "sqlserver_sim/server.h"

namespace quorvane::app::testing {

// build/screenshots/, made on first use.
QString ScreenshotFolder();
// What the display shows of a window, the browser's pixels included, saved as `name` there.
void Screenshot(QWidget& window, const QString& name);
QByteArray ReadFile(const QString& path);
bool WriteFile(const QString& path, const QByteArray& bytes);

// Runs `answer` on the next modal window that opens (checked every 20 ms for `timeoutMs`).
inline void AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs = 20000) {
  auto* timer = new QTimer;
  auto* elapsed = new QElapsedTimer;
  elapsed->start();
  QObject::connect(timer, &QTimer::timeout,
                   [timer, elapsed, answer = std::move(answer), timeoutMs] {
                     QWidget* modal = QApplication::activeModalWidget();
                     if (!modal && elapsed->elapsed() < timeoutMs) return;
                     timer->stop();
                     timer->deleteLater();
                     delete elapsed;
                     if (modal) answer(modal);
                   });
  timer->start(20);
}

// Answers every modal window that opens while it lives, once each, through `answer` (which
// sends real keys to the focused widget).
class ModalKeys {
 public:
  explicit ModalKeys(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == last_) return;
      // Keys go to the focused widget only once the window holds the keyboard; without a
      // window manager a second dialog is not given it by itself.
      if (!modal->isActiveWindow()) {
        modal->activateWindow();
        return;
      }
      last_ = modal;
      answer_(modal);
    });
    timer_.start(20);
  }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
  QPointer<QWidget> last_;
};

// Closes the next message box with OK (or its default button), remembering its text.
inline void AcceptNextMessageBox(QString* text = nullptr) {
  AnswerNextModal([text](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (text) *text = box->text();
      box->accept();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    }
  });
}

// The demo instance with `item` (a delay, a drop) put before the answer to `batch`.
inline std::string DemoScenarioWith(const std::string& batch, const nlohmann::json& item) {
  nlohmann::json scenario = nlohmann::json::parse(sqlsim::DemoScenario(), nullptr, true, true);
  for (auto& rule : scenario["batches"]) {
    if (rule.value("sql", "") == batch) rule["results"].insert(rule["results"].begin(), item);
  }
  return scenario.dump();
}

inline std::string DemoScenarioWithDelay(const std::string& batch, int delayMs) {
  return DemoScenarioWith(batch, {{"delay_ms", delayMs}});
}

class WindowFixture {
 public:
  explicit WindowFixture(bool debugMode = false, std::string scenario = sqlsim::DemoScenario()) {
    simulator = std::make_unique<sqlsim::Server>(scenario);
    simulator->Start("127.0.0.1", 0);
    serverText = QStringLiteral("127.0.0.1,%1").arg(simulator->Port());
    options.debugMode = debugMode;
    options.settings.applicationFolder = folder.path().toStdString();
    options.settings.file = (folder.path() + "/SQLServerQuorvane.ini").toStdString();
    options.temporaryReportFile = (folder.path() + "/~SQLServerQuorvane.htm").toStdString();
    options.openUrl = [this](const QUrl& url) { opened.push_back(url); };
    // The test's environment names the file; setting it here, with Qt's threads running, would
    // not be safe.
    if (const QByteArray conf = qgetenv("FREETDSCONF"); !conf.isEmpty()) {
      freetds = std::make_unique<connection::FreeTdsConfig>(conf.toStdString());
      options.freetds = freetds.get();
    }
  }

  // Writes the settings file before the window starts.
  void WriteSettings(const QByteArray& text) const {
    QFile file(QString::fromStdString(options.settings.file.string()));
    file.open(QIODevice::WriteOnly);
    file.write(text);
  }

  TForm1& Window() {
    if (!window) {
      window = std::make_unique<TForm1>(options);
      window->show();
      QTest::qWait(50);
    }
    return *window;
  }

  template <typename T>
  T* Find(const char* name) {
    return Window().findChild<T*>(name);
  }

  // Types the server, answers the login dialog with the demo login and waits for the run.
  connection::ConnectOutcome RunDemoReport(int timeoutMs = 60000);

  QTemporaryDir folder;
  std::unique_ptr<connection::FreeTdsConfig> freetds;
  WindowOptions options;
  std::unique_ptr<sqlsim::Server> simulator;
  QString serverText;
  std::vector<QUrl> opened;
  std::unique_ptr<TForm1> window;
};

}  // namespace quorvane::app::testing
