// The real main window under a virtual display, driving its controls by name, with the real
// ODBC driver against the simulated SQL Server.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <filesystem>

#include "app/about_box.h"
#include "app/application.h"
#include "app/login_dialog.h"
#include "app/server_box.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/tls.h"
#include "support/test_certificates.h"
#include "viewer/report_view.h"
#include "window_fixture.h"

using namespace quorvane;
using namespace quorvane::app;
using namespace quorvane::app::testing;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qRegisterMetaType<connection::ConnectOutcome>(); }

  void startsWithDefaultsWithoutSettingsFile() {
    WindowFixture f;
    TForm1& form = f.Window();
    QCOMPARE(form.windowTitle(), QString("SQL Server Quorvane"));
    QVERIFY(!f.Find<QPushButton>("ConnectBitBtn")->isEnabled());
    QVERIFY(!f.Find<QPushButton>("SaveOutputBitBtn")->isEnabled());
    QVERIFY(f.Find<QCheckBox>("WinAuthCheckBox")->isChecked());
    QVERIFY(f.Find<QToolButton>("PrintPreviewButton")->isHidden());
    QVERIFY(f.Find<QToolButton>("DebugSpeedButton")->isHidden());
    QCOMPARE(f.Find<QLineEdit>("ConnectionTimeoutMaskEdit")->text().trimmed(), QString("15"));
    QCOMPARE(f.Find<QLineEdit>("ProviderEdit")->text(), QString("SQLOLEDB.1"));
    QCOMPARE(f.Find<QLineEdit>("JobHistoryEdit")->text(), QString("100"));
    QCOMPARE(f.Find<QLineEdit>("JobHistoryLimitEdit")->text(), QString("20"));
    QVERIFY(!f.Find<QPushButton>("SaveSettingsBitBtn")->isEnabled());
    QCOMPARE(f.Find<QTabWidget>("PageControl1")->tabText(0), QString("Quorva"));
    QCOMPARE(form.minimumSize(), QSize(752, 537));
    // Only the folder button has a tooltip; the hint of the others is for the status bar.
    QCOMPARE(f.Find<QToolButton>("FileSavePathSpeedButton")->toolTip(), QString("Change path"));
    QVERIFY(f.Find<QPushButton>("ConnectBitBtn")->toolTip().isEmpty());
    QVERIFY(f.Find<QTextBrowser>("JvRichEdit1")->toPlainText().contains("Troubleshooting"));
  }

  void startsFromSettingsFile() {
    WindowFixture f;
    f.WriteSettings(
        "[SQLServerQuorvane]\r\nCurServer=srv1\r\nServers=SRV2\xC3\xBF,SRV1\xC3\xBFsa\r\n"
        "FormTop=-50\r\nFormLeft=-10\r\nFormHeight=100000\r\nFormWidth=800\r\nJobHistory=5000\r\n");
    TForm1& form = f.Window();
    auto* box = f.Find<QComboBox>("SQLServerComboBox");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QString("SRV1"));
    QCOMPARE(box->currentText(), QString("SRV1"));  // the box shows capitals
    QVERIFY(!f.Find<QCheckBox>("WinAuthCheckBox")->isChecked());
    QVERIFY(f.Find<QPushButton>("ConnectBitBtn")->isEnabled());
    QCOMPARE(f.Find<QLineEdit>("JobHistoryEdit")->text(), QString("1000"));
    const QRect screen = form.screen()->availableGeometry();
    QCOMPARE(form.pos(), screen.topLeft());
    QCOMPARE(form.height(), screen.height());
  }

  void opensMaximizedWhenStoredSo() {
    WindowFixture f;
    f.WriteSettings("[SQLServerQuorvane]\r\nisMaximized=1\r\nFormTop=40\r\n");
    QTRY_VERIFY(f.Window().isMaximized());
  }

  void hintsGoToTheStatusBar() {
    WindowFixture f;
    TForm1& form = f.Window();
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(f.Find<QPushButton>("ConnectBitBtn"), &enter);
    QCOMPARE(form.StatusText(), QString("Connect to SQL Server."));
    QApplication::sendEvent(f.Find<QToolButton>("FileSavePathSpeedButton"), &enter);
    QCOMPARE(form.StatusText(), QString("Change the path."));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f.Find<QToolButton>("FileSavePathSpeedButton"), &leave);
    QCOMPARE(form.StatusText(), QString());
  }

  void encryptionGroupIsReadFromTheSettingsAndSaved() {
    WindowFixture f;
    f.WriteSettings("[SQLServerQuorvane]\r\nEncrypt=Mandatory\r\nTrustServerCertificate=1\r\n");
    TForm1& form = f.Window();
    f.Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    auto* group = f.Find<QGroupBox>("EncryptionGroupBox");
    QCOMPARE(group->title(), QString("Encryption"));
    QVERIFY(group->isVisible());
    const auto* above = f.Find<QCheckBox>("IgnoreReplicationSectionCheckBox");
    QVERIFY(group->geometry().top() > above->geometry().bottom());
    QVERIFY(group->geometry().bottom() <= group->parentWidget()->height());
    auto* mode = f.Find<QComboBox>("EncryptComboBox");
    auto* trust = f.Find<QCheckBox>("TrustServerCertificateCheckBox");
    QCOMPARE(mode->currentText(), QString("Mandatory"));
    QVERIFY(trust->isChecked() && trust->isEnabled());
    QVERIFY(!f.Find<QPushButton>("SaveSettingsBitBtn")->isEnabled());

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(trust, &enter);
    QVERIFY(form.StatusText().startsWith("Accept the server's certificate"));
    // Strict always checks the certificate, so trusting it is not offered.
    mode->setCurrentIndex(mode->findText("Strict"));
    QVERIFY(!trust->isEnabled());
    QVERIFY(f.Find<QPushButton>("SaveSettingsBitBtn")->isEnabled());
    QTest::mouseClick(f.Find<QPushButton>("SaveSettingsBitBtn"), Qt::LeftButton);
    const QByteArray ini = ReadFile(QString::fromStdString(f.options.settings.file.string()));
    QVERIFY2(ini.contains("Encrypt=Strict"), ini.constData());
    QVERIFY(ini.contains("TrustServerCertificate=1"));

    QTest::mouseClick(f.Find<QPushButton>("DefaultSettingsBitBtn"), Qt::LeftButton);
    QCOMPARE(mode->currentText(), QString("Optional"));
    QVERIFY(!trust->isChecked() && !trust->isEnabled());
  }

  // A refused certificate through the real driver: the error box says why and what to do, and
  // trusting the certificate then connects.
  void refusedCertificateIsExplainedAndTrustingItConnects() {
    const auto* certificates = quorvane::testing::Certificates();
    if (!sqlsim::TlsAvailable() || !certificates) QSKIP("no TLS simulator or no openssl command");
    const auto& self = certificates->selfSigned;
    WindowFixture f(
        false, sqlsim::WithEncryption(sqlsim::DemoScenario(), {self.certificate, self.key, false}));
    if (!f.options.freetds) QSKIP("FREETDSCONF names no file for the test");
    f.WriteSettings("[SQLServerQuorvane]\r\nEncrypt=Mandatory\r\n");
    TForm1& form = f.Window();
    auto* box = f.Find<ServerBox>("SQLServerComboBox");
    QTest::keyClicks(box->lineEdit(), f.serverText);
    f.Find<QCheckBox>("WinAuthCheckBox")->setChecked(false);
    QSignalSpy finished(&form, &TForm1::runFinished);
    QString error;
    AnswerNextModal([&error](QWidget* modal) {
      auto* login = qobject_cast<LoginDialog*>(modal);
      login->findChild<QLineEdit*>("UserNameEdit")->setText("sa");
      login->findChild<QLineEdit*>("PasswordEdit")->setText("secret");
      login->accept();
      AcceptNextMessageBox(&error);
    });
    QTest::mouseClick(f.Find<QPushButton>("ConnectBitBtn"), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.takeFirst().at(0).value<connection::ConnectOutcome>(),
             connection::ConnectOutcome::kFailed);
    QVERIFY2(error.contains("The server's certificate is not trusted: self-signed certificate"),
             qPrintable(error));
    QVERIFY(
        error.contains("Use \"Trust server certificate\" on the Settings tab or install the CA."));

    f.Find<QCheckBox>("TrustServerCertificateCheckBox")->setChecked(true);
    QCOMPARE(f.RunDemoReport(), connection::ConnectOutcome::kConnected);
  }

  // The Findings box: read from the settings file, read by the run as it ends, saved.
  void findingsBoxAddsTheFindingsSection() {
    WindowFixture f;
    f.WriteSettings("[SQLServerQuorvane]\r\nFindings=1\r\n");
    TForm1& form = f.Window();
    const QString report = QString::fromStdString(f.options.temporaryReportFile.string());
    f.Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    auto* box = f.Find<QCheckBox>("FindingsCheckBox");
    QCOMPARE(box->text(), QString("Findings section"));
    QVERIFY(box->isChecked() && box->isVisible());
    QCOMPARE(f.RunDemoReport(), connection::ConnectOutcome::kConnected);
    QByteArray html = ReadFile(report);
    QVERIFY(html.contains("<a name=\"Findings\"></a><h2>Findings:</h2>"));
    QVERIFY(html.contains("Database Archive2012 is not online"));

    form.activateWindow();
    box->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!box->isChecked());
    QCOMPARE(f.RunDemoReport(), connection::ConnectOutcome::kConnected);
    html = ReadFile(report);
    QVERIFY(!html.contains("Findings"));
    QTest::mouseClick(f.Find<QPushButton>("SaveSettingsBitBtn"), Qt::LeftButton);
    const QByteArray ini = ReadFile(QString::fromStdString(f.options.settings.file.string()));
    QVERIFY2(ini.contains("Findings=0"), ini.constData());
  }

  void debugModeShowsTheDebugButton() {
    WindowFixture f(true);
    auto* debug = f.Find<QToolButton>("DebugSpeedButton");
    QVERIFY(debug->isVisible());
    auto* container = f.Find<QPlainTextEdit>("HTMLContainer");
    QTest::mouseClick(debug, Qt::LeftButton);
    QVERIFY(container->isVisible());
    QCOMPARE(container->height(), 231);
    QTest::mouseClick(debug, Qt::LeftButton);
    QVERIFY(!container->isVisible());
  }

  void typingCompletesAndPicks() {
    WindowFixture f;
    f.WriteSettings("[SQLServerQuorvane]\r\nServers=SRV1\xC3\xBFsa,OTHER\xC3\xBF\r\n");
    f.Window();
    auto* box = f.Find<ServerBox>("SQLServerComboBox");
    QTest::keyClicks(box->lineEdit(), "sr");
    QCOMPARE(box->currentText(), QString("SRV1"));
    QCOMPARE(box->lineEdit()->selectedText(), QString("V1"));
    QVERIFY(!f.Find<QCheckBox>("WinAuthCheckBox")->isChecked());
    QVERIFY(f.Find<QPushButton>("ConnectBitBtn")->isEnabled());
  }

  // Real key presses go to the widget that holds the focus, so every key here is sent there.
  void keyboardConnectsFromTheServerBox() {
    WindowFixture f;
    TForm1& form = f.Window();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto* box = f.Find<ServerBox>("SQLServerComboBox");
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.Find<QCheckBox>("WinAuthCheckBox"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // clears the box
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
    QVERIFY(!f.Find<QCheckBox>("WinAuthCheckBox")->isChecked());

    QSignalSpy finished(&form, &TForm1::runFinished);
    QTest::keyClicks(QApplication::focusWidget(), "  ");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.takeFirst().at(0).value<connection::ConnectOutcome>(),
             connection::ConnectOutcome::kNothingToDo);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), f.serverText);
    // Each Enter opens the login dialog once; Escape there cancels it.
    QStringList captions;
    int passwordFocused = 0;
    ModalKeys answer([&](QWidget* modal) {
      captions << modal->windowTitle();
      passwordFocused +=
          QApplication::focusWidget() == modal->findChild<QLineEdit*>("PasswordEdit");
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    const std::pair<Qt::Key, Qt::KeyboardModifiers> presses[] = {
        {Qt::Key_Return, Qt::NoModifier},
        {Qt::Key_Return, Qt::ShiftModifier},
        {Qt::Key_Return, Qt::ControlModifier},
        {Qt::Key_Return, Qt::AltModifier},
        {Qt::Key_Enter, Qt::KeypadModifier},
        {Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier}};
    for (const auto& [key, modifiers] : presses) {
      // Back in the server box once the dialog has gone (without a window manager nothing
      // gives the window the keyboard back by itself).
      form.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&form));
      QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
      QTest::keyClick(QApplication::focusWidget(), key, modifiers);
      QCOMPARE(finished.count(), 1);
      QCOMPARE(finished.takeFirst().at(0).value<connection::ConnectOutcome>(),
               connection::ConnectOutcome::kCancelled);
    }
    QCOMPARE(captions, QStringList(std::size(presses), "Log into " + f.serverText));
    QCOMPARE(passwordFocused, 0);  // no remembered login: the focus is in the user name
    QVERIFY(f.simulator->Batches().empty());
  }

  // The login dialog's access keys and Enter, the warning box's caption and Enter, then F1 and
  // Alt+C from wherever the focus is after the run.
  void keyboardRunsTheReportAndCloses() {
    WindowFixture f;
    f.options.demoServer = f.serverText;
    f.options.demoLogin = "sa";
    f.options.demoPassword = "secret";
    TForm1& form = f.Window();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QSignalSpy finished(&form, &TForm1::runFinished);
    QString userFocus, passwordFocus, loginCaption, warningCaption;
    ModalKeys answer([&](QWidget* modal) {
      if (auto* login = qobject_cast<LoginDialog*>(modal)) {
        loginCaption = login->windowTitle();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_U, Qt::AltModifier);
        userFocus = QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
        passwordFocus = QApplication::focusWidget()->objectName();
      } else {
        warningCaption = modal->windowTitle();
      }
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.takeFirst().at(0).value<connection::ConnectOutcome>(),
             connection::ConnectOutcome::kConnected);
    QCOMPARE(loginCaption, "Log into " + f.serverText);
    QCOMPARE(userFocus, QString("UserNameEdit"));
    QCOMPARE(passwordFocus, QString("PasswordEdit"));
    QCOMPARE(warningCaption, QString("Warning"));

    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QVERIFY(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    QCOMPARE(f.Find<QTabWidget>("PageControl1")->currentIndex(), 2);
    // The Close button's access key, from the report tab where the button is.
    f.Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
    QTRY_VERIFY(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!form.isVisible());
  }

  void loginDialogMasksWithHashAndFocusesThePassword() {
    LoginDialog dialog(nullptr, {"Log into X", "Log into SQL Server X", "sa", "", true});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* password = dialog.findChild<QLineEdit*>("PasswordEdit");
    QTRY_VERIFY(password->hasFocus());
    QCOMPARE(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), int('#'));
    QCOMPARE(dialog.findChild<QLineEdit*>("UserNameEdit")->text(), QString("sa"));
    QTest::keyClicks(password, "secret");
    Screenshot(dialog, "login-dialog.png");
  }

  // The whole demo report through the real driver: the controls during and after the run, the
  // server remembered, the state written at closing and the temporary report deleted.
  void demoReportRunsAndClosingSavesTheState() {
    WindowFixture f(false, DemoScenarioWithDelay("Select SERVERPROPERTY('ServerName')", 5000));
    TForm1& form = f.Window();
    auto* connect = f.Find<QPushButton>("ConnectBitBtn");
    auto* close = f.Find<QPushButton>("CloseBitBtn");
    bool sawRunControlsDisabled = false;
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      longestGapMs = std::max(longestGapMs, sinceTick.restart());
      if (form.RunActive() && !connect->isEnabled() && !close->isEnabled()) {
        sawRunControlsDisabled = true;
      }
    });
    probe.start(10);
    QElapsedTimer took;
    took.start();
    QCOMPARE(f.RunDemoReport(), connection::ConnectOutcome::kConnected);
    qInfo("demo report in the window: %lld ms; longest event-loop gap %lld ms",
          static_cast<long long>(took.elapsed()), static_cast<long long>(longestGapMs));
    probe.stop();
    QVERIFY(sawRunControlsDisabled);
    QVERIFY2(longestGapMs < 500, qPrintable(QString::number(longestGapMs)));
    QVERIFY(connect->isEnabled());
    QVERIFY(close->isEnabled());
    QVERIFY(f.Find<QPushButton>("SaveOutputBitBtn")->isEnabled());
    QVERIFY(f.Find<QToolButton>("PrintPreviewButton")->isVisible());
    QVERIFY(!f.Find<QProgressBar>("JvXPProgressBar1")->isEnabled());
    QVERIFY(form.StatusText().startsWith("1 exception(s) found"));
    QCOMPARE(form.Servers().size(), std::size_t{1});
    QCOMPARE(form.Servers()[0].login.Text(), std::string("sa"));
    QCOMPARE(form.ReportView()->Tag(), 1);
    const QString temporary = QString::fromStdString(f.options.temporaryReportFile.string());
    QVERIFY(QFile::exists(temporary));
    QTRY_VERIFY_WITH_TIMEOUT(form.ReportView()->url().isLocalFile(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!form.ReportView()->title().isEmpty(), 10000);
    QTest::qWait(500);  // the first paint of the page

    Screenshot(form, "main-window-demo-report.png");
    f.Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    Screenshot(form, "settings-tab.png");
    f.Find<QTabWidget>("PageControl1")->setCurrentIndex(2);
    Screenshot(form, "help-tab.png");
    f.Find<QTabWidget>("PageControl1")->setCurrentIndex(0);

    form.close();
    QVERIFY(!QFile::exists(temporary));
    const QByteArray ini = ReadFile(QString::fromStdString(f.options.settings.file.string()));
    for (const char* key : {"CurServer=", "Servers=", "isMaximized=0", "FormTop=", "FormLeft=",
                            "FormHeight=", "FormWidth=", "LastReportPath="}) {
      QVERIFY2(ini.contains(key), key);
    }
    QVERIFY(ini.contains(f.serverText.toUtf8() + "\xC3\xBFsa"));
  }

  void closingDuringADelayedStatementStopsTheRun() {
    WindowFixture f(false, DemoScenarioWithDelay("Select SERVERPROPERTY('ProductVersion')", 20000));
    TForm1& form = f.Window();
    auto* box = f.Find<ServerBox>("SQLServerComboBox");
    QTest::keyClicks(box->lineEdit(), f.serverText);
    f.Find<QCheckBox>("WinAuthCheckBox")->setChecked(false);
    AnswerNextModal([](QWidget* modal) {
      auto* login = qobject_cast<LoginDialog*>(modal);
      login->findChild<QLineEdit*>("UserNameEdit")->setText("sa");
      login->findChild<QLineEdit*>("PasswordEdit")->setText("secret");
      login->accept();
    });
    QTest::mouseClick(f.Find<QPushButton>("ConnectBitBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(
        !f.simulator->Batches().empty() &&
            f.simulator->Batches().back() == "Select SERVERPROPERTY('ProductVersion')",
        20000);
    QElapsedTimer closing;
    closing.start();
    form.close();
    QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
    QVERIFY(!form.RunActive());
    QVERIFY(!form.RunAbandoned());
    QVERIFY(!QFile::exists(QString::fromStdString(f.options.temporaryReportFile.string())));
    QVERIFY(
        ReadFile(QString::fromStdString(f.options.settings.file.string())).contains("CurServer="));
  }

  // A link lost on the way is re-established; the status bar keeps saying so after the run.
  void aLostLinkIsSaidInTheStatusBar() {
    WindowFixture f(false, DemoScenarioWith("exec master..sp_helpdevice", {{"drop", true}}));
    QCOMPARE(f.RunDemoReport(), connection::ConnectOutcome::kConnected);
    QVERIFY2(f.Window().StatusText().startsWith("2 exception(s) found"),
             qPrintable(f.Window().StatusText()));
    QVERIFY(f.Window().StatusText().endsWith("lost once and re-established."));
  }

  void unwritableSettingsAreReportedOnceAndTheWindowCloses() {
    WindowFixture f;
    f.options.settings.file = "/proc/quorvane-no-such-folder/SQLServerQuorvane.ini";
    TForm1& form = f.Window();
    QString text;
    AcceptNextMessageBox(&text);
    form.close();
    QVERIFY(text.contains("could not be saved"));
    QVERIFY(!form.isVisible());
  }

  // An error that escapes a handler (here the settings file cannot be written when the
  // Windows-authentication box is ticked) ends at the event loop: the window says what failed
  // and can connect again.
  void anEscapedErrorLeavesTheWindowReady() {
    WindowFixture f;
    f.WriteSettings("[SQLServerQuorvane]\r\nCurServer=SRV1\r\nServers=SRV1\xC3\xBFsa\r\n");
    TForm1& form = f.Window();
    static_cast<Application*>(QCoreApplication::instance())
        ->SetErrorHandler(
            [&form](const std::exception& e) { form.ApplicationEvents1Exception(e); });
    QFile::remove(QString::fromStdString(form.SettingsFileInUse().Path().string()));
    QDir().mkpath(QString::fromStdString(form.SettingsFileInUse().Path().string()));  // a folder
    auto* winAuth = f.Find<QCheckBox>("WinAuthCheckBox");
    QVERIFY(!winAuth->isChecked());
    QTest::mouseClick(winAuth, Qt::LeftButton, {}, QPoint(5, winAuth->height() / 2));
    QVERIFY(winAuth->isChecked());
    QVERIFY2(form.StatusText().contains("Unable to write"), qPrintable(form.StatusText()));
    QVERIFY(f.Find<QPushButton>("ConnectBitBtn")->isEnabled());
    QVERIFY(f.Find<QPushButton>("CloseBitBtn")->isEnabled());
    static_cast<Application*>(QCoreApplication::instance())->SetErrorHandler(nullptr);
    QDir(QString::fromStdString(form.SettingsFileInUse().Path().string())).removeRecursively();
  }

  void f1SelectsTheHelpTab() {
    WindowFixture f;
    TForm1& form = f.Window();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    QCOMPARE(f.Find<QTabWidget>("PageControl1")->currentIndex(), 2);
  }

  void secondInstanceActivatesTheFirstAndExitsZero() {
    QTemporaryDir folder;
    const QString program = folder.path() + "/quorvane";
    QVERIFY(QFile::copy(QStringLiteral(QUORVANE_PROGRAM), program));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUORVANE_SPLASH_MS", "0");
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {});
    QVERIFY(first.waitForStarted());
    const QString settings = folder.path() + "/SQLServerQuorvane.ini";
    // The first copy is up once its socket answers; until then a second copy would be first.
    QTest::qWait(3000);
    const QDateTime before = QFileInfo(settings).lastModified();
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program, {"-d"});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(QFileInfo(settings).lastModified(), before);
    QCOMPARE(first.state(), QProcess::Running);
    // A copy that crashed leaves its socket behind; the next start is the first copy again.
    first.kill();
    QVERIFY(first.waitForFinished(10000));
    QProcess next;
    next.setProcessEnvironment(environment);
    next.start(program, {});
    QVERIFY(next.waitForStarted());
    QVERIFY(!next.waitForFinished(3000));
    next.terminate();
    QVERIFY(next.waitForFinished(10000));
  }

  void aboutBoxAndLongDelay() {
    TAboutBox about;
    QCOMPARE(about.windowTitle(), QString("About.."));
    QCOMPARE(about.Version->text(), QString("Version 1.3.6.15"));
    // Across the top of the counter the wait is as long as anywhere else.
    std::uint32_t now = 0xFFFFFFF0u;
    int rounds = 0;
    LongDelay(
        0x40, [&] { return now++; }, [&] { ++rounds; });
    QCOMPARE(rounds, 0x3F);  // the ticks after the start until 0x40 have passed
  }
};

// The program's own application object, so that errors escaping a handler reach the window.
int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  Application app(argc, argv);
  WindowTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "window_test.moc"
