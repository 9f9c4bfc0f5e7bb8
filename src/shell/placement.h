// Where the main window goes at start-up. A front-end calls WindowCore::FirstShow with its
// design placement and a ScreenFinder, and applies the StartPlacement it gets back: maximize,
// or move and resize to `area` (never below the minimum size).
#pragma once

#include <functional>
#include <optional>

#include "connection/settings.h"

namespace quorvane::shell {

// A rectangle in screen pixels.
struct ScreenArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenArea&) const = default;
};

// The available area (without task bars) of the screen that holds the point, or of the
// primary screen when `point` is empty; nothing when there is no such screen.
using ScreenFinder =
    std::function<std::optional<ScreenArea>(std::optional<std::pair<int, int>> point)>;

// A stored normal-state placement on a screen whose available area is `screen`: no larger than
// the screen, and pulled back onto it when it would start above or left of it or run off its
// right or bottom edge.
ScreenArea PlaceOnScreen(const connection::WindowPlacement& stored, const ScreenArea& screen);

struct StartPlacement {
  bool maximized = false;
  ScreenArea area;  // when not maximized: at least `minimumWidth` x `minimumHeight`
};

// The placement for the stored settings: maximized, or on the screen that holds the stored
// window's centre (the primary screen if none does), at least the design size.
StartPlacement ChooseStartPlacement(bool maximized, const connection::WindowPlacement& stored,
                                    const ScreenFinder& screens, int minimumWidth,
                                    int minimumHeight);

}  // namespace quorvane::shell
