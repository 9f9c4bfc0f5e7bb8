#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <functional>

namespace quorvane::viewer {

// The page inside `WB`: lets the report file, its own anchors and the empty page load, and hands
// every other link to `openExternally` instead of following it.
class ReportPage : public QWebEnginePage {
  Q_OBJECT

 public:
  ReportPage(QWebEngineProfile* profile, QObject* parent);

  void SetAllowedUrl(const QUrl& url) { allowed_ = url; }
  // While our own page stands in for a report the viewer could not show, a click on the
  // report's address opens it in the user's browser instead.
  void SetReportOpensExternally(bool external) { reportOpensExternally_ = external; }
  void SetExternalOpener(std::function<void(const QUrl&)> opener) {
    openExternally_ = std::move(opener);
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;

 private:
  QUrl allowed_;
  bool reportOpensExternally_ = false;
  std::function<void(const QUrl&)> openExternally_;
};

// Whether `url` is the report itself (any anchor in it) or the empty page.
bool IsReportOrEmptyPage(const QUrl& url, const QUrl& report);

}  // namespace quorvane::viewer
