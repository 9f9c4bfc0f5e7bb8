// Controls at their design geometry (pixels at 96 DPI), scaled to the window's DPI and moved or
// stretched with their container by the edges they are anchored to (the core's anchor rule).
#pragma once

#include <windows.h>

#include <vector>

#include "shell/window_layout.h"

namespace quorvane::win {

// `pixels` at 96 DPI on a screen of `dpi`.
inline int Scale(int pixels, UINT dpi) {
  return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

class DesignLayout {
 public:
  DesignLayout(int designWidth, int designHeight)
      : designWidth_(designWidth), designHeight_(designHeight) {}

  void Place(HWND control, shell::DesignRect design, unsigned anchors = shell::kAnchorTopLeft);
  // Puts every control where it belongs in a container of this client size.
  void Apply(UINT dpi, int width, int height) const;

 private:
  struct Item {
    HWND control;
    shell::DesignRect design;
    unsigned anchors;
  };
  int designWidth_;
  int designHeight_;
  std::vector<Item> items_;
};

}  // namespace quorvane::win
