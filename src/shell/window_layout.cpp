#include "shell/window_layout.h"

#include <algorithm>

namespace quorvane::shell {

namespace {

void Follow(int& position, int& extent, int grown, bool nearEdge, bool farEdge) {
  if (nearEdge && farEdge) {
    extent += grown;
  } else if (farEdge) {
    position += grown;
  }
}

}  // namespace

DesignRect AnchoredRect(const DesignRect& design, unsigned anchors, int designWidth,
                        int designHeight, int width, int height) {
  DesignRect r = design;
  Follow(r.x, r.width, width - designWidth, anchors & kAnchorLeft, anchors & kAnchorRight);
  Follow(r.y, r.height, height - designHeight, anchors & kAnchorTop, anchors & kAnchorBottom);
  r.width = std::max(r.width, 0);
  r.height = std::max(r.height, 0);
  return r;
}

}  // namespace quorvane::shell
