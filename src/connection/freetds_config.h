#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::connection {

// A server as a freetds.conf section describes it, with the certificate checks that FreeTDS
// makes only for a section: its connection string has no keys for them.
struct FreeTdsSection {
  std::string host;
  std::optional<int> port;
  std::string instance;  // used when there is no port
  std::string caFile;    // a PEM file, or "system" for the system's trusted authorities
  bool operator==(const FreeTdsSection&) const = default;
};

// The private freetds.conf of this process, which FreeTDS reads through FREETDSCONF: one file,
// readable by its owner only, with a section per server that needs its certificate checked,
// after whatever the FREETDSCONF file set before held. Removed when the object goes.
class FreeTdsConfig {
 public:
  // Sets FREETDSCONF for this process, so the environment must not be read meanwhile: call it
  // at the start, before any other thread. Nothing when the private temporary folder cannot be
  // used.
  static std::unique_ptr<FreeTdsConfig> ForThisProcess();

  // A file at `path`; `inherited` comes first in it.
  explicit FreeTdsConfig(std::filesystem::path path, std::string inherited = {});
  ~FreeTdsConfig();
  FreeTdsConfig(const FreeTdsConfig&) = delete;
  FreeTdsConfig& operator=(const FreeTdsConfig&) = delete;

  // The name of the section for `section`, added to the file unless it is there already. Safe
  // from any thread. Throws ConnectionStringError for a value the file format cannot hold, or
  // when the file cannot be written.
  std::string Add(const FreeTdsSection& section);

  const std::filesystem::path& Path() const { return path_; }

 private:
  void Write() const;

  const std::filesystem::path path_;
  const std::string inherited_;
  std::mutex mutex_;
  std::vector<FreeTdsSection> sections_;
};

}  // namespace quorvane::connection
