#include "shell/command_line.h"

#include <algorithm>

namespace quorvane::shell {

bool DebugSwitch(const std::vector<std::string>& arguments) {
  return std::any_of(arguments.begin() + std::min<std::size_t>(1, arguments.size()),
                     arguments.end(), [](const std::string& a) {
                       return a.size() == 2 && (a[0] == '-' || a[0] == '/') &&
                              (a[1] == 'd' || a[1] == 'D');
                     });
}

bool DemoSwitch(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "--demo") != arguments.end();
}

}  // namespace quorvane::shell
