#include "app/design_layout.h"

#include <QEvent>
#include <QWidget>

namespace quorvane::app {

namespace {

// One axis: a control anchored at both ends stretches, at the far end only it moves.
void Follow(int& position, int& extent, int grown, bool nearEdge, bool farEdge) {
  if (nearEdge && farEdge) {
    extent += grown;
  } else if (farEdge) {
    position += grown;
  }
}

}  // namespace

QRect AnchoredGeometry(QRect design, unsigned anchors, QSize designSize, QSize size) {
  int x = design.x();
  int y = design.y();
  int width = design.width();
  int height = design.height();
  Follow(x, width, size.width() - designSize.width(), anchors & kAnchorLeft,
         anchors & kAnchorRight);
  Follow(y, height, size.height() - designSize.height(), anchors & kAnchorTop,
         anchors & kAnchorBottom);
  return {x, y, std::max(width, 0), std::max(height, 0)};
}

DesignLayout::DesignLayout(QWidget* container, QSize designSize)
    : QObject(container), container_(container), designSize_(designSize) {
  container_->installEventFilter(this);
}

void DesignLayout::Place(QWidget* control, QRect design, unsigned anchors) {
  items_.push_back(Item{control, design, anchors});
  Apply(items_.back());
}

bool DesignLayout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == container_ && event->type() == QEvent::Resize) {
    for (const Item& item : items_) Apply(item);
  }
  return false;
}

void DesignLayout::Apply(const Item& item) const {
  item.control->setGeometry(
      AnchoredGeometry(item.design, item.anchors, designSize_, container_->size()));
}

}  // namespace quorvane::app
