#include "window_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "app/login_dialog.h"
#include "app/server_box.h"

namespace quorvane::app::testing {

QString ScreenshotFolder() {
  const QString folder = QStringLiteral(QUORVANE_BUILD_DIR "/screenshots");
  QDir().mkpath(folder);
  return folder;
}

void Screenshot(QWidget& window, const QString& name) {
  QTest::qWait(150);
  window.screen()->grabWindow(window.winId()).save(ScreenshotFolder() + "/" + name);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

connection::ConnectOutcome WindowFixture::RunDemoReport(int timeoutMs) {
  TForm1& form = Window();
  auto* box = Find<ServerBox>("SQLServerComboBox");
  box->lineEdit()->clear();
  QTest::keyClicks(box->lineEdit(), serverText);
  Find<QCheckBox>("WinAuthCheckBox")->setChecked(false);
  QSignalSpy finished(&form, &TForm1::runFinished);
  AnswerNextModal([](QWidget* modal) {
    auto* login = qobject_cast<LoginDialog*>(modal);
    if (!login) return;
    login->findChild<QLineEdit*>("UserNameEdit")->setText("sa");
    login->findChild<QLineEdit*>("PasswordEdit")->setText("secret");
    login->accept();
    AcceptNextMessageBox();  // the demo's offline database ends the run with a warning
  });
  QTest::mouseClick(Find<QPushButton>("ConnectBitBtn"), Qt::LeftButton);
  if (!finished.wait(timeoutMs)) return connection::ConnectOutcome::kFailed;
  return finished.takeFirst().at(0).value<connection::ConnectOutcome>();
}

}  // namespace quorvane::app::testing
