#include "app/help_view.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QMouseEvent>

namespace quorvane::app {

HelpView::HelpView(QWidget* parent, std::function<void(const QUrl&)> openUrl)
    : QTextBrowser(parent), openUrl_(std::move(openUrl)) {
  setObjectName("JvRichEdit1");
  setReadOnly(true);
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Same-document anchors scroll the help; web addresses go to the browser.
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.scheme().isEmpty() && url.hasFragment()) {
      scrollToAnchor(url.fragment());
    } else {
      openUrl_(url);
    }
  });
}

void HelpView::LoadHelp() {
  QFile file(":/help.html");
  if (!file.open(QIODevice::ReadOnly)) {
    throw std::runtime_error("The help document is missing from the program.");
  }
  setHtml(QString::fromUtf8(file.readAll()));
}

void HelpView::mousePressEvent(QMouseEvent* event) {
  pressedLink_ =
      event->button() == Qt::RightButton ? anchorAt(event->position().toPoint()) : QString();
  QTextBrowser::mousePressEvent(event);
}

void HelpView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && !pressedLink_.isEmpty() &&
      anchorAt(event->position().toPoint()) == pressedLink_) {
    const QUrl url(pressedLink_);
    pressedLink_.clear();
    if (!url.scheme().isEmpty()) openUrl_(url);
    return;
  }
  QTextBrowser::mouseReleaseEvent(event);
}

void HelpView::contextMenuEvent(QContextMenuEvent* event) {
  // A right click on a link opens it; elsewhere the usual Copy / Select All menu.
  if (!anchorAt(event->pos()).isEmpty()) {
    event->accept();
    return;
  }
  QTextBrowser::contextMenuEvent(event);
}

}  // namespace quorvane::app
