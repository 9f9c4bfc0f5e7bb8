#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace quorvane::app {

// Which edges of its container a control keeps its distance to when the container is resized.
enum Anchor : unsigned {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
  kAnchorTopLeft = kAnchorLeft | kAnchorTop,
  kAnchorTopRight = kAnchorRight | kAnchorTop,
  kAnchorAll = kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom,
};

// Places controls at their design geometry inside a container drawn at `designSize`, and moves
// or stretches them with the container by their anchors: the window's controls stand where
// the layout tables put them, at any window size.
class DesignLayout : public QObject {
 public:
  DesignLayout(QWidget* container, QSize designSize);

  void Place(QWidget* control, QRect design, unsigned anchors = kAnchorTopLeft);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Item {
    QWidget* control;
    QRect design;
    unsigned anchors;
  };
  void Apply(const Item& item) const;

  QWidget* container_;
  QSize designSize_;
  std::vector<Item> items_;
};

// The geometry of a control anchored to `anchors` when its container, drawn at `designSize`,
// is now `size`.
QRect AnchoredGeometry(QRect design, unsigned anchors, QSize designSize, QSize size);

}  // namespace quorvane::app
