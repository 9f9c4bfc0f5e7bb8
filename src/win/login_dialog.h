// The modal login dialog `JvLoginDialog1`: the password shown as "#", OK the default button,
// Escape cancelling.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "connection/connect.h"
#include "shell/login_prefill.h"

namespace quorvane::win {

// Shows exactly what `request` holds; nothing when the user cancels.
std::optional<connection::LoginAnswer> ShowLoginDialog(HWND owner,
                                                       const shell::LoginRequest& request);

}  // namespace quorvane::win
