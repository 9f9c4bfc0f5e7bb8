#pragma once

#include <string_view>

// Read-only data compiled into the program.
namespace quorvane::resources {
std::string_view BaseHtml();
std::string_view SqlJobInfo();
std::string_view SqlJobHistory();
}  // namespace quorvane::resources

namespace quorvane::report {
// A resource by its name, letter case ignored: "Resource_BaseHTML", "Resource_SQLJobInfo",
// "Resource_SQLJobHistory". Throws std::runtime_error for an unknown name.
std::string_view LoadResource(std::string_view name);
}  // namespace quorvane::report
