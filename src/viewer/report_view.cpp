#include "viewer/report_view.h"

#include <QChildEvent>
#include <QContextMenuEvent>
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
}

ReportView::~ReportView() {
  // The page must go before the profile it was made with.
  delete page();
}

void ReportView::SetExternalOpener(std::function<void(const QUrl&)> opener) {
  static_cast<ReportPage*>(page())->SetExternalOpener(std::move(opener));
}

void ReportView::ShowEmptyPage() {
  load(QUrl("about:blank"));
}

void ReportView::Navigate(const QUrl& url) {
  reportUrl_ = url;
  static_cast<ReportPage*>(page())->SetAllowedUrl(url);
  load(url);
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
