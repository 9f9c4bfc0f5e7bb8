#pragma once

#include <QUrl>
#include <QWebEngineView>
#include <functional>

class QWebEngineProfile;

namespace quorvane::viewer {

// `WB`: the embedded browser that shows the report. It loads only the report file and the
// empty page; the page may run its own script (the index menu) but reaches no other local file
// and no remote address, and a link that leads away from the report opens in the user's
// browser. The engine's own context menu is off: the window decides what a right click shows.
class ReportView : public QWebEngineView {
  Q_OBJECT

 public:
  static constexpr const char* kUserAgent = "SQLServerQuorvane";

  explicit ReportView(QWidget* parent = nullptr);
  ~ReportView() override;

  // The empty page, as before a report.
  void ShowEmptyPage();
  // Shows the report file at `url` (a file:// URL).
  void Navigate(const QUrl& url);
  const QUrl& ReportUrl() const { return reportUrl_; }

  // The report-shown flag: 0 until the end of the first report run, then 1 for good.
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // Called with the screen position of a right click, instead of the engine's menu.
  void SetContextMenuHandler(std::function<void(const QPoint& screenPos)> handler) {
    contextMenuHandler_ = std::move(handler);
  }

  // Where links away from the report go; QDesktopServices::openUrl unless a test says else.
  void SetExternalOpener(std::function<void(const QUrl&)> opener);

  // Stands in for the report with a short page of our own: the report was written completely
  // (its size and where), `why` the viewer cannot show it, and a link that opens it in the
  // user's browser.
  void ShowReportUnavailable(const QString& why);
  bool ShowingReportUnavailable() const { return unavailable_; }

 signals:
  // The viewer could not show the report (its renderer ended, or the load failed).
  void reportUnavailable(const QString& why);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void childEvent(QChildEvent* event) override;

 private:
  QWebEngineProfile* profile_;
  QUrl reportUrl_;
  bool unavailable_ = false;
  bool loadingReport_ = false;
  int tag_ = 0;
  std::function<void(const QPoint&)> contextMenuHandler_;
};

}  // namespace quorvane::viewer
