#include "connection/tls_diagnosis.h"

#include <algorithm>

#include "connection/connection_string.h"
#include "connection/odbc_connection_string.h"

namespace quorvane::connection {

namespace {

constexpr int kDefaultPort = 1433;
// A look that waits longer than the login would help nobody.
constexpr int kMaxProbeSeconds = 15;

std::string Issued(const TlsFinding& f) {
  return "issued to " + f.subject + " by " + f.issuer;
}

std::string NameList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "\"" : ", \"") + name + "\"";
  return list.empty() ? "no name" : list;
}

}  // namespace

std::optional<std::string> ExplainTlsFinding(const TlsFinding& finding,
                                             const EncryptionOptions& encryption,
                                             const TlsAdvice& advice) {
  using Kind = TlsFinding::Kind;
  const std::string checkedAgainst =
      encryption.caFile.empty() ? "the system's trusted authorities" : encryption.caFile;
  switch (finding.kind) {
    case Kind::kNothingFound:
      return std::nullopt;
    case Kind::kCannotTell:
      return "The reason could not be found out: " + finding.detail +
             ". With FreeTDS, the environment variable TDSDUMP=FILE makes the driver write a "
             "trace that holds it.";
    case Kind::kNoEncryption:
      return "The server does not offer encryption (it has no certificate set up), but it was "
             "required. Set up a certificate on the server, or use " +
             advice.optionalEncryption + ".";
    case Kind::kHandshakeFailed:
      return "The TLS handshake with the server failed: " + finding.detail + ".";
    case Kind::kUntrusted:
      return "The server's certificate is not trusted: " + finding.detail + " (" + Issued(finding) +
             "; checked against " + checkedAgainst + "). Use " + advice.trustCertificate +
             " or install the CA.";
    case Kind::kExpired:
      return "The server's certificate expired on " + finding.notAfter + " (" + Issued(finding) +
             "). Renew it on the server, or use " + advice.trustCertificate + ".";
    case Kind::kWrongName:
      return "The server's certificate is not issued to \"" + finding.expectedName +
             "\": it names " + NameList(finding.names) + ". Connect with a name it holds, or use " +
             advice.trustCertificate + ".";
  }
  return std::nullopt;
}

std::optional<std::string> ExplainEncryptionFailure(std::string_view serverText,
                                                    const EncryptionOptions& encryption,
                                                    int timeoutSeconds, const TlsAdvice& advice) {
  if (encryption.mode != EncryptMode::kMandatory) return std::nullopt;
  DataSource source;
  try {
    source = ParseDataSource(serverText);
  } catch (const ConnectionStringError&) {
    return std::nullopt;
  }
  if (source.protocol == "np" || source.protocol == "lpc") return std::nullopt;
  if (!source.port && !source.instance.empty()) return std::nullopt;
  const int seconds =
      timeoutSeconds > 0 ? std::min(timeoutSeconds, kMaxProbeSeconds) : kMaxProbeSeconds;
  return ExplainTlsFinding(
      ProbeServerCertificate(source.host, source.port.value_or(kDefaultPort), encryption, seconds),
      encryption, advice);
}

}  // namespace quorvane::connection
