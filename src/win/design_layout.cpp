#include "win/design_layout.h"

namespace quorvane::win {

void DesignLayout::Place(HWND control, shell::DesignRect design, unsigned anchors) {
  items_.push_back(Item{control, design, anchors});
}

void DesignLayout::Apply(UINT dpi, int width, int height) const {
  HDWP moves = BeginDeferWindowPos(static_cast<int>(items_.size()));
  for (const Item& item : items_) {
    const shell::DesignRect scaled{Scale(item.design.x, dpi), Scale(item.design.y, dpi),
                                   Scale(item.design.width, dpi), Scale(item.design.height, dpi)};
    const shell::DesignRect r = shell::AnchoredRect(scaled, item.anchors, Scale(designWidth_, dpi),
                                                    Scale(designHeight_, dpi), width, height);
    if (moves) {
      moves = DeferWindowPos(moves, item.control, nullptr, r.x, r.y, r.width, r.height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (moves) EndDeferWindowPos(moves);
}

}  // namespace quorvane::win
