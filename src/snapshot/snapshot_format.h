#pragma once

// The snapshot document's name and version (docs/snapshot-format.md). The version goes up when a
// reader of the previous one would misread a document.
namespace quorvane::snapshot {

inline constexpr const char* kFormatName = "quorvane-snapshot";
inline constexpr int kFormatVersion = 1;

}  // namespace quorvane::snapshot
