#include "shell/login_prefill.h"

#include "connection/server_list.h"

namespace quorvane::shell {

LoginRequest PrefillLogin(const connection::LoginPrompt& prompt, const std::string& serverText,
                          const std::optional<DemoInstance>& demo) {
  LoginRequest request{prompt.caption, prompt.title, prompt.userName, {}, false};
  if (demo && !demo->server.empty() &&
      connection::CompareNoCase(connection::TrimBlanks(serverText), demo->server) == 0) {
    if (request.userName.empty()) request.userName = demo->login;
    if (connection::CompareNoCase(request.userName, demo->login) == 0) {
      request.password = demo->password;
    }
  }
  request.focusPassword = !request.userName.empty();
  return request;
}

}  // namespace quorvane::shell
