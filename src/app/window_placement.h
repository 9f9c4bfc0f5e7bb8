#pragma once

#include <QRect>

#include "connection/settings.h"

namespace quorvane::app {

// Where the window goes for a stored normal-state placement on a screen whose available area
// is `screen`: no larger than the screen, and pulled back onto it when it would start above or
// left of it or run off its right or bottom edge.
QRect PlaceOnScreen(const connection::WindowPlacement& stored, const QRect& screen);

}  // namespace quorvane::app
