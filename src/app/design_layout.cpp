#include "app/design_layout.h"

#include <QEvent>
#include <QWidget>

#include "app/hints.h"

namespace quorvane::app {

QString DesignText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

DesignLayout::DesignLayout(QWidget* container, QSize designSize)
    : QObject(container), container_(container), designSize_(designSize) {
  container_->installEventFilter(this);
}

void DesignLayout::Name(QWidget* control, const shell::ControlDesign& design) {
  control->setObjectName(DesignText(design.name));
  if (!design.hint.empty()) SetHint(control, DesignText(design.hint));
}

void DesignLayout::Place(QWidget* control, shell::DesignRect design, unsigned anchors) {
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
  const QSize size = container_->size();
  const shell::DesignRect r =
      shell::AnchoredRect(item.design, item.anchors, designSize_.width(), designSize_.height(),
                          size.width(), size.height());
  item.control->setGeometry(r.x, r.y, r.width, r.height);
}

}  // namespace quorvane::app
