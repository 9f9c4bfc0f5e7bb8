// Hint routing. A front-end gives every control its hint through these: the status bar shows
// the long part while the pointer is over the control; only a control that also has a tooltip
// (the folder button) shows the short part there.
#pragma once

#include <string>
#include <string_view>

namespace quorvane::shell {

// A hint is "short|long", or one text for both.
std::string LongHint(std::string_view hint);
std::string ShortHint(std::string_view hint);

}  // namespace quorvane::shell
