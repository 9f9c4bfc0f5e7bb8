#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::connection {

// How the connection to the server is encrypted.
enum class EncryptMode {
  kOptional,   // whenever the server can, the certificate never checked: reaches every server
  kMandatory,  // always; the certificate checked unless trusted as it is
  kStrict,     // TDS 8.0: TLS before any TDS, the certificate always checked
};

struct EncryptionOptions {
  EncryptMode mode = EncryptMode::kOptional;
  // Mandatory only: accept the certificate whoever issued it (and whatever name it has).
  bool trustServerCertificate = false;
  // The certificate file to check the server's against instead of the system's trusted
  // authorities: the CA for FreeTDS, the server's own certificate for Microsoft's driver.
  std::string caFile;
  // The name the certificate must hold instead of the server's host name.
  std::string hostNameInCertificate;
  bool operator==(const EncryptionOptions&) const = default;
};

// "Optional", "Mandatory", "Strict".
std::string_view EncryptModeName(EncryptMode mode);
// Those names in any letter case, and the older yes/true (mandatory) and no/false (optional).
std::optional<EncryptMode> ParseEncryptMode(std::string_view text);

// What is contradictory in `options`, in words for the user; nothing when they can be used.
std::optional<std::string> EncryptionConflict(const EncryptionOptions& options);

}  // namespace quorvane::connection
