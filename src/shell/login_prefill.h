// What the login dialog starts with. WindowCore builds a LoginRequest from the connection's
// prompt and hands it to WindowView::AskLogin; a front-end shows exactly that and puts the focus
// where `focusPassword` says.
#pragma once

#include <optional>
#include <string>

#include "connection/connect.h"

namespace quorvane::shell {

// The built-in simulated instance of `--demo`.
struct DemoInstance {
  std::string server;  // the server text that reaches it, e.g. "127.0.0.1,PORT"
  std::string login;
  std::string password;
};

struct LoginRequest {
  std::string caption;  // the window's title, exactly: "Log into " + server text
  std::string title;    // the bold line: "Log into SQL Server " + server text
  std::string userName;
  std::string password;        // only for the demo instance's own login
  bool focusPassword = false;  // the user name is pre-filled
};

// The remembered login, and for the demo instance its login and password, so that a first try
// needs no typing.
LoginRequest PrefillLogin(const connection::LoginPrompt& prompt, const std::string& serverText,
                          const std::optional<DemoInstance>& demo);

}  // namespace quorvane::shell
