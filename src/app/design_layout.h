#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <string_view>
#include <vector>

#include "shell/window_layout.h"

class QWidget;

namespace quorvane::app {

// A design text (caption, hint) as Qt takes it.
QString DesignText(std::string_view text);

// Places controls at their design geometry inside a container drawn at `designSize`, and moves
// or stretches them with the container by their anchors: the window's controls stand where
// the layout tables put them, at any window size.
class DesignLayout : public QObject {
 public:
  DesignLayout(QWidget* container, QSize designSize);

  void Place(QWidget* control, shell::DesignRect design, unsigned anchors = shell::kAnchorTopLeft);
  // Names `control`, gives it its hint and places it, all as `design` says.
  template <typename Control>
  Control* Add(Control* control, const shell::ControlDesign& design) {
    Name(control, design);
    Place(control, design.place, design.anchors);
    return control;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Item {
    QWidget* control;
    shell::DesignRect design;
    unsigned anchors;
  };
  static void Name(QWidget* control, const shell::ControlDesign& design);
  void Apply(const Item& item) const;

  QWidget* container_;
  QSize designSize_;
  std::vector<Item> items_;
};

}  // namespace quorvane::app
