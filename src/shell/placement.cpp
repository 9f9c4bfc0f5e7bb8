#include "shell/placement.h"

#include <algorithm>

namespace quorvane::shell {

ScreenArea PlaceOnScreen(const connection::WindowPlacement& stored, const ScreenArea& screen) {
  const int width = std::min(stored.width, screen.width);
  const int height = std::min(stored.height, screen.height);
  const int left = std::clamp(stored.left, screen.left, screen.left + screen.width - width);
  const int top = std::clamp(stored.top, screen.top, screen.top + screen.height - height);
  return {left, top, width, height};
}

StartPlacement ChooseStartPlacement(bool maximized, const connection::WindowPlacement& stored,
                                    const ScreenFinder& screens, int minimumWidth,
                                    int minimumHeight) {
  if (maximized) return {true, {}};
  std::optional<ScreenArea> screen =
      screens(std::pair{stored.left + stored.width / 2, stored.top + stored.height / 2});
  if (!screen) screen = screens(std::nullopt);
  ScreenArea area = screen ? PlaceOnScreen(stored, *screen)
                           : ScreenArea{stored.left, stored.top, stored.width, stored.height};
  area.width = std::max(area.width, minimumWidth);
  area.height = std::max(area.height, minimumHeight);
  return {false, area};
}

}  // namespace quorvane::shell
