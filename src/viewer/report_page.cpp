#include "viewer/report_page.h"

#include <QDesktopServices>

namespace quorvane::viewer {

bool IsReportOrEmptyPage(const QUrl& url, const QUrl& report) {
  if (url.scheme() == "about") return true;
  return !report.isEmpty() &&
         url.adjusted(QUrl::RemoveFragment) == report.adjusted(QUrl::RemoveFragment);
}

ReportPage::ReportPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent),
      openExternally_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {}

bool ReportPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (reportOpensExternally_ && type == NavigationTypeLinkClicked && url.isLocalFile() &&
      IsReportOrEmptyPage(url, allowed_)) {
    openExternally_(url);
    return false;
  }
  if (IsReportOrEmptyPage(url, allowed_)) return true;
  // Our own notice arrives as a data: page.
  if (reportOpensExternally_ && url.scheme() == "data" && type != NavigationTypeLinkClicked) {
    return true;
  }
  // A link the user clicked goes to the user's browser; anything else the page tries is refused.
  if (type == NavigationTypeLinkClicked && isMainFrame &&
      (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto")) {
    openExternally_(url);
  }
  return false;
}

QWebEnginePage* ReportPage::createWindow(WebWindowType) {
  return nullptr;  // no pop-ups: a target="_blank" link simply does nothing
}

}  // namespace quorvane::viewer
