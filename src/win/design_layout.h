// Controls at their design geometry (pixels at 96 DPI), scaled to the window's DPI and moved or
// stretched with their container by the edges they are anchored to.
#pragma once

#include <windows.h>

#include <vector>

namespace quorvane::win {

struct DesignRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

enum Anchor : unsigned {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
  kAnchorTopLeft = kAnchorLeft | kAnchorTop,
  kAnchorTopRight = kAnchorRight | kAnchorTop,
  kAnchorAll = kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom,
};

// `pixels` at 96 DPI on a screen of `dpi`.
inline int Scale(int pixels, UINT dpi) {
  return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

// Where a control anchored to `anchors` stands in a container drawn at `designSize` (96 DPI)
// that is now `width` by `height` pixels on a screen of `dpi`.
RECT AnchoredRect(const DesignRect& design, unsigned anchors, SIZE designSize, UINT dpi, int width,
                  int height);

class DesignLayout {
 public:
  explicit DesignLayout(SIZE designSize) : designSize_(designSize) {}

  void Place(HWND control, DesignRect design, unsigned anchors = kAnchorTopLeft);
  // Puts every control where it belongs in a container of this client size.
  void Apply(UINT dpi, int width, int height) const;

 private:
  struct Item {
    HWND control;
    DesignRect design;
    unsigned anchors;
  };
  SIZE designSize_;
  std::vector<Item> items_;
};

}  // namespace quorvane::win
