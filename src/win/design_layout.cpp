#include "win/design_layout.h"

#include <algorithm>

namespace quorvane::win {

namespace {

// One axis: anchored at both ends a control stretches, at the far end only it moves.
void Follow(int& position, int& extent, int grown, bool nearEdge, bool farEdge) {
  if (nearEdge && farEdge) {
    extent += grown;
  } else if (farEdge) {
    position += grown;
  }
}

}  // namespace

RECT AnchoredRect(const DesignRect& design, unsigned anchors, SIZE designSize, UINT dpi, int width,
                  int height) {
  int x = Scale(design.x, dpi);
  int y = Scale(design.y, dpi);
  int w = Scale(design.width, dpi);
  int h = Scale(design.height, dpi);
  Follow(x, w, width - Scale(designSize.cx, dpi), anchors & kAnchorLeft, anchors & kAnchorRight);
  Follow(y, h, height - Scale(designSize.cy, dpi), anchors & kAnchorTop, anchors & kAnchorBottom);
  return RECT{x, y, x + std::max(w, 0), y + std::max(h, 0)};
}

void DesignLayout::Place(HWND control, DesignRect design, unsigned anchors) {
  items_.push_back(Item{control, design, anchors});
}

void DesignLayout::Apply(UINT dpi, int width, int height) const {
  HDWP moves = BeginDeferWindowPos(static_cast<int>(items_.size()));
  for (const Item& item : items_) {
    const RECT r = AnchoredRect(item.design, item.anchors, designSize_, dpi, width, height);
    if (moves) {
      moves = DeferWindowPos(moves, item.control, nullptr, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (moves) EndDeferWindowPos(moves);
}

}  // namespace quorvane::win
