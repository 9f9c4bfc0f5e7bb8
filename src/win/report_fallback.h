// The report view's own page, for when no HTML engine can show the report: what was written,
// how big it is and where, beside a button that opens it in the user's browser.
#pragma once

#include <filesystem>
#include <string>

namespace quorvane::win {

std::wstring FallbackPageText(const std::filesystem::path& report);

}  // namespace quorvane::win
