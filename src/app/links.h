#pragma once

namespace quorvane::app {

// The project's own pages.
inline constexpr const char* kWebSiteUrl = "https://github.com/quorvane";
inline constexpr const char* kDonationUrl = "https://github.com/sponsors/quorvane";

}  // namespace quorvane::app
