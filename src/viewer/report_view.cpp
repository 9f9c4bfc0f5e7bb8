#include "viewer/report_view.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "viewer/report_page.h"

namespace quorvane::viewer {

namespace {

// The engine's shortcuts that the report view leaves without effect.
bool IsBlockedShortcut(const QKeyEvent& key) {
  return key.modifiers() == Qt::ControlModifier &&
         (key.key() == Qt::Key_N || key.key() == Qt::Key_A);
}

}  // namespace

ReportView::ReportView(QWidget* parent)
    : QWebEngineView(parent), profile_(new QWebEngineProfile(this)) {
  setObjectName("WB");
  profile_->setHttpUserAgent(kUserAgent);
  auto* page = new ReportPage(profile_, this);
  QWebEngineSettings* settings = page->settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);  // the index menu
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
  setPage(page);
  setContextMenuPolicy(Qt::DefaultContextMenu);

  // A report too large for the engine must never leave the view blank.
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
            if (status == QWebEnginePage::NormalTerminationStatus || reportUrl_.isEmpty()) return;
            ShowReportUnavailable(
                tr("The built-in viewer ran out of resources showing it: it is "
                   "too large for the viewer."));
          });
  // Only the report's own load counts: a link the page refused ends "unsuccessfully" too.
  connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    if (!std::exchange(loadingReport_, false) || ok || unavailable_) return;
    ShowReportUnavailable(tr("The built-in viewer could not load it."));
  });
}

ReportView::~ReportView() {
  // The page must go before the profile it was made with.
  delete page();
}

void ReportView::SetExternalOpener(std::function<void(const QUrl&)> opener) {
  static_cast<ReportPage*>(page())->SetExternalOpener(std::move(opener));
}

void ReportView::ShowEmptyPage() {
  unavailable_ = false;
  loadingReport_ = false;
  static_cast<ReportPage*>(page())->SetReportOpensExternally(false);
  load(QUrl("about:blank"));
}

void ReportView::Navigate(const QUrl& url) {
  reportUrl_ = url;
  unavailable_ = false;
  auto* reportPage = static_cast<ReportPage*>(page());
  reportPage->SetAllowedUrl(url);
  reportPage->SetReportOpensExternally(false);
  loadingReport_ = true;
  load(url);
}

void ReportView::ShowReportUnavailable(const QString& why) {
  unavailable_ = true;
  loadingReport_ = false;
  static_cast<ReportPage*>(page())->SetReportOpensExternally(true);
  const QString path = reportUrl_.toLocalFile();
  const double megabytes = static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0);
  const QString html =
      QStringLiteral(
          "<html><head><title>%1</title></head><body style=\"font-family: sans-serif\">"
          "<h2>%1</h2><p>%2</p><p>%3</p><p><a href=\"%4\">%5</a></p></body></html>")
          .arg(tr("The report was written completely").toHtmlEscaped(),
               tr("%1 MB in %2").arg(megabytes, 0, 'f', 1).arg(path).toHtmlEscaped(),
               why.toHtmlEscaped(), reportUrl_.toString(QUrl::FullyEncoded).toHtmlEscaped(),
               tr("Open the report in your web browser").toHtmlEscaped());
  setHtml(html, reportUrl_.resolved(QUrl("quorvane-viewer-notice")));
  emit reportUnavailable(why);
}

void ReportView::contextMenuEvent(QContextMenuEvent* event) {
  if (contextMenuHandler_) contextMenuHandler_(event->globalPos());
  event->accept();
}

void ReportView::childEvent(QChildEvent* event) {
  // The engine renders into a child widget that gets the keyboard; watch its keys.
  if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
  QWebEngineView::childEvent(event);
}

bool ReportView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    if (IsBlockedShortcut(*static_cast<QKeyEvent*>(event))) {
      event->accept();
      return true;
    }
  }
  return QWebEngineView::eventFilter(watched, event);
}

}  // namespace quorvane::viewer
