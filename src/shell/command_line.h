// The program's switches. A front-end hands over its arguments in UTF-8, the program's own
// name first, and passes what it finds into WindowCoreOptions.
#pragma once

#include <string>
#include <vector>

namespace quorvane::shell {

// Debug mode: "-d" or "/d" among the arguments after the program's name, in any letter case.
bool DebugSwitch(const std::vector<std::string>& arguments);
// "--demo": the window points at the built-in simulated instance.
bool DemoSwitch(const std::vector<std::string>& arguments);

}  // namespace quorvane::shell
