#include "connection/encryption.h"

#include <algorithm>

namespace quorvane::connection {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::string_view EncryptModeName(EncryptMode mode) {
  switch (mode) {
    case EncryptMode::kOptional:
      return "Optional";
    case EncryptMode::kMandatory:
      return "Mandatory";
    case EncryptMode::kStrict:
      return "Strict";
  }
  return "Optional";
}

std::optional<EncryptMode> ParseEncryptMode(std::string_view text) {
  for (const EncryptMode mode :
       {EncryptMode::kOptional, EncryptMode::kMandatory, EncryptMode::kStrict}) {
    if (EqualsNoCase(text, EncryptModeName(mode))) return mode;
  }
  for (std::string_view yes : {"yes", "true"}) {
    if (EqualsNoCase(text, yes)) return EncryptMode::kMandatory;
  }
  for (std::string_view no : {"no", "false"}) {
    if (EqualsNoCase(text, no)) return EncryptMode::kOptional;
  }
  return std::nullopt;
}

std::optional<std::string> EncryptionConflict(const EncryptionOptions& options) {
  if (options.mode == EncryptMode::kOptional &&
      (!options.caFile.empty() || !options.hostNameInCertificate.empty())) {
    return "Optional encryption never checks the certificate, so a certificate file or a host "
           "name for it goes with mandatory or strict encryption.";
  }
  if (options.mode == EncryptMode::kStrict && options.trustServerCertificate) {
    return "Strict encryption always checks the server's certificate; trusting it unchecked goes "
           "with mandatory encryption.";
  }
  if (options.trustServerCertificate &&
      (!options.caFile.empty() || !options.hostNameInCertificate.empty())) {
    return "A trusted server certificate is not checked at all, so a certificate file or a host "
           "name for it would be ignored.";
  }
  return std::nullopt;
}

}  // namespace quorvane::connection
