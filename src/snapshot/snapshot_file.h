#pragma once

#include <filesystem>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace quorvane::snapshot {

// A file that is not a snapshot this program can read; the message names the file.
class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a snapshot and checks what every reader relies on: the format's name and version, and
// sections with their result sets. Throws SnapshotError.
nlohmann::json ReadSnapshot(const std::filesystem::path& path);

}  // namespace quorvane::snapshot
