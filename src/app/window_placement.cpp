#include "app/window_placement.h"

#include <algorithm>

namespace quorvane::app {

QRect PlaceOnScreen(const connection::WindowPlacement& stored, const QRect& screen) {
  const int width = std::min(stored.width, screen.width());
  const int height = std::min(stored.height, screen.height());
  const int left = std::clamp(stored.left, screen.left(), screen.left() + screen.width() - width);
  const int top = std::clamp(stored.top, screen.top(), screen.top() + screen.height() - height);
  return {left, top, width, height};
}

}  // namespace quorvane::app
