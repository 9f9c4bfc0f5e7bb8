#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace quorvane::connection::testing {

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
#ifdef _WIN32
    std::random_device random;
    do {
      path_ = std::filesystem::temp_directory_path() / ("quorvane-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
#endif
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const {
    return path_;
  }
  std::filesystem::path operator/(const std::string& name) const {
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quorvane::connection::testing
