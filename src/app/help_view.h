#pragma once

#include <QTextBrowser>
#include <functional>

namespace quorvane::app {

// `JvRichEdit1`: the help document, read-only, compiled into the program. A left or a right
// click on a web address opens it in the user's browser.
class HelpView : public QTextBrowser {
  Q_OBJECT

 public:
  HelpView(QWidget* parent, std::function<void(const QUrl&)> openUrl);

  // Loads the help document (the window's first show does it once).
  void LoadHelp();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  std::function<void(const QUrl&)> openUrl_;
  QString pressedLink_;
};

}  // namespace quorvane::app
