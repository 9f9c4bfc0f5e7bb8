// The report viewer in the real window: the report in the browser engine, its menu, copying,
// printing with header and footer, saving, the debug window, and what the view does with a
// hostile or an oversized report.
#include <sys/resource.h>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPdfDocument>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <csignal>

#include "app/about_box.h"
#include "app/help_view.h"
#include "viewer/print_preview.h"
#include "viewer/report_view.h"
#include "viewer/save_output.h"
#include "window_fixture.h"

using namespace quorvane;
using namespace quorvane::app;
using namespace quorvane::app::testing;

namespace {

QVariant RunJavaScript(QWebEnginePage& page, const QString& script) {
  QVariant result;
  bool done = false;
  page.runJavaScript(script, [&](const QVariant& value) {
    result = value;
    done = true;
  });
  if (!QTest::qWaitFor([&] { return done; }, 10000)) qWarning("the script did not answer");
  return result;
}

bool WaitForLoad(viewer::ReportView& view, int timeoutMs = 15000) {
  return QTest::qWaitFor(
      [&] { return RunJavaScript(*view.page(), "document.readyState").toString() == "complete"; },
      timeoutMs);
}

// The menu that pops up for a right click in the view, as its item texts ("-" a separator).
QStringList PopupMenuFor(QWidget* view, const QString& screenshot = {}) {
  QStringList items;
  QTimer::singleShot(600, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      if (!screenshot.isEmpty()) {
        QWidget* window = view->window();
        menu->screen()
            ->grabWindow(0)
            .copy(window->frameGeometry())
            .save(ScreenshotFolder() + "/" + screenshot);
      }
      for (QAction* action : menu->actions())
        items << (action->isSeparator() ? "-" : action->text());
      menu->close();
    }
  });
  // A right click on the engine's own surface, which asks the view for its menu.
  QWidget* surface = view->focusProxy() ? view->focusProxy() : view;
  QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(300, 200));
  QTest::qWait(800);
  return items;
}

QString PdfText(const QString& pdf) {
  QProcess pdftotext;
  pdftotext.start("pdftotext", {"-layout", pdf, "-"});
  pdftotext.waitForFinished(30000);
  return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

}  // namespace

class ViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qRegisterMetaType<connection::ConnectOutcome>(); }

  void noMenuBeforeTheFirstReport() {
    WindowFixture f;
    QVERIFY(PopupMenuFor(f.Window().ReportView()).isEmpty());
  }

  // One demo report, then everything the viewer offers on it.
  void afterADemoReport() {
    WindowFixture f(true);
    std::vector<std::pair<QString, QString>> dialogs;  // folder and proposed name
    const QString chosen = f.folder.path() + "/saved/report.htm";
    QDir().mkpath(f.folder.path() + "/saved");
    f.options.chooseSaveFile = [&](QWidget*, const QString& folder, const QString& name) {
      dialogs.emplace_back(folder, name);
      return chosen;
    };
    TForm1& form = f.Window();
    QCOMPARE(f.RunDemoReport(), connection::ConnectOutcome::kConnected);
    viewer::ReportView& view = *form.ReportView();
    QVERIFY(WaitForLoad(view));
    QCOMPARE(view.page()->profile()->httpUserAgent(), QString("SQLServerQuorvane"));

    // The index menu the template's script builds.
    QTRY_COMPARE_WITH_TIMEOUT(
        RunJavaScript(*view.page(), "document.querySelectorAll('#thessm a.ssmItems').length")
            .toInt(),
        16, 10000);

    // The popup menu, Select All and Copy through the engine's own actions.
    QCOMPARE(PopupMenuFor(&view, "popup-menu.png"),
             QStringList({"Select All", "Copy", "-", "Print Preview"}));
    // Ctrl+A is switched off in the view; the menu's Select All is the way.
    QApplication::clipboard()->clear();
    QTest::keyClick(view.focusProxy(), Qt::Key_A, Qt::ControlModifier);
    view.triggerPageAction(QWebEnginePage::Copy);
    QTest::qWait(500);
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    view.triggerPageAction(QWebEnginePage::SelectAll);
    view.triggerPageAction(QWebEnginePage::Copy);
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::clipboard()->text().contains("General Information:"),
                             5000);
    QVERIFY(QApplication::clipboard()->text().contains("QUORVANE-DEMO"));

    // The debug window holds the report buffer, line for line.
    QTest::mouseClick(form.findChild<QToolButton*>("DebugSpeedButton"), Qt::LeftButton);
    auto* debug = form.findChild<QPlainTextEdit*>("HTMLContainer");
    QVERIFY(debug->isVisible());
    QStringList lines;
    for (const std::string& entry : form.Run().HTMLContainer().Entries()) {
      lines << QString::fromStdString(entry);
    }
    QCOMPARE(debug->toPlainText(), lines.join(u'\n'));
    QVERIFY(debug->toPlainText().contains("<!-- FUNCTION GetSQL : INPUT = "));
    Screenshot(form, "report-tab-debug-window.png");
    QTest::mouseClick(form.findChild<QToolButton*>("DebugSpeedButton"), Qt::LeftButton);

    // Printing: the engine's pages with our header and footer on each.
    const viewer::PageDecoration decoration{view.title(), view.url().toString(), "2026-12-10"};
    const auto pdfBytes = viewer::PrintPageToPdf(*view.page());
    QVERIFY(pdfBytes);
    QBuffer buffer;
    buffer.setData(*pdfBytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument pdf;
    pdf.load(&buffer);
    QVERIFY(pdf.pageCount() > 1);
    qInfo("demo report: %lld bytes on %d pages", static_cast<long long>(lines.join("\r\n").size()),
          pdf.pageCount());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString printed = f.folder.path() + "/printed.pdf";
    printer.setOutputFileName(printed);
    printer.setPageLayout(viewer::ReportPageLayout());
    viewer::PaintPages(printer, pdf, decoration);
    const QString text = PdfText(printed);
    QVERIFY(text.contains(QStringLiteral("Page 1 of %1").arg(pdf.pageCount())));
    QVERIFY(text.contains(QStringLiteral("Page %1 of %1").arg(pdf.pageCount())));
    QVERIFY(text.contains("SQL Server Quorvane"));
    QVERIFY(text.contains("2026-12-10"));
    QVERIFY2(text.contains("file://"), qPrintable(text.right(400)));
    QCOMPARE(printer.pageLayout().margins(QPageLayout::Millimeter).left(), 19.05);

    // The print preview window itself, for a look.
    AnswerNextModal([&](QWidget* modal) {
      QTest::qWait(1500);
      Screenshot(*modal, "print-preview.png");
      qobject_cast<QDialog*>(modal)->reject();
    });
    form.PrintPreviewClick();

    // Saving: the proposed name, the file as the run wrote it, the next save in that folder.
    QString saved;
    AcceptNextMessageBox(&saved);
    form.SaveOutput();
    QCOMPARE(dialogs.size(), std::size_t{1});
    QCOMPARE(dialogs[0].first, f.folder.path());  // the application folder, nothing else set
    QVERIFY(dialogs[0].second.startsWith(f.serverText.toUpper().replace(' ', '_') + "_"));
    QVERIFY(dialogs[0].second.endsWith(".htm"));
    QCOMPARE(saved, "Report saved to " + chosen);
    const QByteArray report = ReadFile(chosen);
    QCOMPARE(report, QByteArray::fromStdString(form.Run().HTMLContainer().Text()));
    QCOMPARE(QFile::permissions(chosen) & 0x0077, QFileDevice::Permissions());

    // A second save replaces the file without asking, from the folder of the first; a write
    // that fails half-way leaves the earlier file whole.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved_limit = limit;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    QString failure;
    AcceptNextMessageBox(&failure);
    form.SaveOutput();
    setrlimit(RLIMIT_FSIZE, &saved_limit);
    QCOMPARE(dialogs.size(), std::size_t{2});
    QCOMPARE(dialogs[1].first, QDir::toNativeSeparators(f.folder.path() + "/saved/"));
    QVERIFY(failure.startsWith("The report was not saved."));
    QCOMPARE(ReadFile(chosen), report);
    QCOMPARE(QDir(f.folder.path() + "/saved").entryList(QDir::Files), QStringList({"report.htm"}));

    Screenshot(form, "report-tab-demo.png");
    form.close();
  }

  // A report (or anyone who spoofs a server) cannot reach other files or remote addresses, and
  // a link away from it opens in the user's browser, not in the view.
  void aHostileReportStaysInItsPage() {
    WindowFixture f;
    TForm1& form = f.Window();
    const QString path = f.folder.path() + "/hostile.htm";
    QVERIFY(WriteFile(path,
                      "<html><head><title>hostile</title></head><body>"
                      "<a id=\"away\" href=\"https://example.invalid/steal\">away</a>"
                      "<script>fetch('file:///etc/hostname').then(() => document.title = "
                      "'read a file', () => document.title = 'file refused');</script>"
                      "</body></html>"));
    viewer::ReportView& view = *form.ReportView();
    view.Navigate(QUrl::fromLocalFile(path));
    QVERIFY(WaitForLoad(view));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("file refused"), 10000);
    RunJavaScript(*view.page(), "document.getElementById('away').click()");
    QTRY_COMPARE_WITH_TIMEOUT(f.opened.size(), std::size_t{1}, 5000);
    QCOMPARE(f.opened[0], QUrl("https://example.invalid/steal"));
    QTest::qWait(300);
    QCOMPARE(view.url(), QUrl::fromLocalFile(path));
  }

  void aDeadRendererLeavesANoticeNotABlankView() {
    WindowFixture f;
    TForm1& form = f.Window();
    viewer::ReportView& view = *form.ReportView();
    const QString path = f.folder.path() + "/report.htm";
    QVERIFY(WriteFile(path, "<html><body><p>a report</p></body></html>"));
    view.Navigate(QUrl::fromLocalFile(path));
    QVERIFY(WaitForLoad(view));
    QVERIFY(view.page()->renderProcessPid() > 0);
    ::kill(static_cast<pid_t>(view.page()->renderProcessPid()), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(view.ShowingReportUnavailable(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        RunJavaScript(*view.page(), "document.body ? document.body.innerText : ''")
            .toString()
            .contains("The report was written completely"),
        10000);
    QVERIFY(form.StatusText().contains("cannot show it"));
    // Its link opens the report in the user's browser.
    RunJavaScript(*view.page(), "document.querySelector('a').click()");
    QTRY_COMPARE_WITH_TIMEOUT(f.opened.size(), std::size_t{1}, 5000);
    QCOMPARE(f.opened[0], QUrl::fromLocalFile(path));
    // Print Preview says why it cannot print, instead of printing the notice.
    QString said;
    AcceptNextMessageBox(&said);
    form.PrintPreviewClick();
    QVERIFY(said.contains("cannot print"));
  }

  // A report of a consolidated server: about 15 MB of tables. It shows, or the view says why
  // not; the window never freezes for a second.
  void aLargeReportShowsWhileTheWindowStaysResponsive() {
    WindowFixture f;
    TForm1& form = f.Window();
    viewer::ReportView& view = *form.ReportView();
    const QString path = f.folder.path() + "/large.htm";
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("<html><head><title>large</title></head><body>\r\n");
      for (int database = 0; database < 5000 && file.size() < 15'000'000; ++database) {
        QByteArray table = "<h3>DB" + QByteArray::number(database) +
                           "</h3><table border=1><tr><th>name</th><th>fileid</th><th>filename</th>"
                           "<th>filegroup</th><th>size</th><th>maxsize</th><th>growth</th>"
                           "<th>usage</th></tr>\r\n";
        for (int row = 0; row < 12; ++row) {
          table += "<tr><td>DB" + QByteArray::number(database) + "_data" + QByteArray::number(row) +
                   "</td><td>" + QByteArray::number(row + 1) + "</td><td>D:\\SQLData\\DB" +
                   QByteArray::number(database) +
                   ".mdf</td><td>PRIMARY</td><td>1048576 KB</td><td>Unlimited</td>"
                   "<td>10%</td><td>data only</td></tr>\r\n";
        }
        file.write(table + "</table>\r\n");
      }
      file.write("</body></html>\r\n");
    }
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
    probe.start(20);
    QElapsedTimer took;
    took.start();
    bool finished = false;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, [&] { finished = true; });
    view.Navigate(QUrl::fromLocalFile(path));
    QVERIFY(QTest::qWaitFor([&] { return finished || view.ShowingReportUnavailable(); }, 120000));
    const qint64 loadMs = took.elapsed();
    QTest::qWait(1000);
    probe.stop();
    qInfo("15 MB report: %s after %lld ms; longest event-loop gap %lld ms",
          view.ShowingReportUnavailable() ? "notice" : "loaded", static_cast<long long>(loadMs),
          static_cast<long long>(longestGapMs));
    QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));
    if (!view.ShowingReportUnavailable()) {
      QTRY_COMPARE_WITH_TIMEOUT(
          RunJavaScript(*view.page(), "document.getElementsByTagName('table').length").toInt(),
          5000, 30000);
    }
  }

  void aboutBoxAndHelp() {
    WindowFixture f;
    TForm1& form = f.Window();
    AnswerNextModal([&](QWidget* modal) {
      QCOMPARE(modal->windowTitle(), QString("About.."));
      Screenshot(*modal, "about-box.png");
      QTest::keyClick(modal, Qt::Key_Return);  // OK is the default button
    });
    QTest::mouseClick(form.findChild<QPushButton*>("AboutBitBtn"), Qt::LeftButton);
    QTest::mouseClick(form.findChild<QPushButton*>("DonateButton"), Qt::LeftButton);
    QCOMPARE(f.opened.back(), QUrl("https://github.com/sponsors/quorvane"));

    auto* help = form.findChild<HelpView*>("JvRichEdit1");
    const QString text = help->toPlainText();
    int at = 0;
    for (const char* heading :
         {"Features", "Contents of the report", "Installation", "Using the program",
          "Access requirements", "Client requirements", "SQL Server requirements",
          "Security restrictions", "Troubleshooting", "Licence", "Change history"}) {
      const int found = static_cast<int>(text.indexOf(heading, at));
      QVERIFY2(found >= 0, heading);
      at = found;
    }
    form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    help->scrollToAnchor("title");
    QTest::qWait(100);
    // A left and a right click on the web-site link both open it.
    QTextCursor cursor = help->document()->find("https://github.com/quorvane");
    QVERIFY(!cursor.isNull());
    const QRect link = help->cursorRect(cursor);
    const QPoint on = link.center() - QPoint(20, 0);  // inside the link, left of its end
    QTest::mouseClick(help->viewport(), Qt::LeftButton, {}, on);
    QTest::mouseClick(help->viewport(), Qt::RightButton, {}, on);
    QCOMPARE(std::count(f.opened.begin(), f.opened.end(), QUrl("https://github.com/quorvane")), 2);
  }
};

QTEST_MAIN(ViewerTest)
#include "viewer_test.moc"
