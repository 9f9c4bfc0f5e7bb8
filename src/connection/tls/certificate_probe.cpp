#include "connection/tls/certificate_probe.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/tls/tds_link.h"

namespace quorvane::connection {

namespace {

using Bytes = TdsLink::Bytes;
using Clock = TdsLink::Clock;

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using ContextPtr = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, Deleter<SSL_free>>;
using CertificatePtr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;
using NamesPtr = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES_free>>;

constexpr std::uint8_t kPrelogin = 0x12;
constexpr std::uint8_t kEncryptOn = 0x01;
constexpr std::uint8_t kEncryptNotSupported = 0x02;

std::string Reasons() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(code, line, sizeof line);
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text.empty() ? "no reason given" : text;
}

// VERSION, ENCRYPTION (on), INSTOPT, THREADID and MARS, as drivers send them.
Bytes Prelogin() {
  const Bytes table{0x00, 0, 26,   0, 6,  0x01, 0, 32,   0, 1,  0x02, 0, 33,
                    0,    1, 0x03, 0, 34, 0,    4, 0x04, 0, 38, 0,    1, 0xFF};
  Bytes payload = table;
  const Bytes data{0, 0, 0, 0, 0, 0, kEncryptOn, 0, 0, 0, 0, 0, 0};
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

std::uint8_t EncryptionAnswer(const Bytes& reply) {
  for (std::size_t i = 0; i + 5 <= reply.size() && reply[i] != 0xFF; i += 5) {
    const std::size_t offset = (std::size_t{reply[i + 1]} << 8) | reply[i + 2];
    const std::size_t length = (std::size_t{reply[i + 3]} << 8) | reply[i + 4];
    if (reply[i] == 0x01 && length >= 1 && offset < reply.size()) return reply[offset];
  }
  throw TdsLinkError("the server's PRELOGIN answer has no encryption option");
}

bool IsAddress(const std::string& name) {
  in6_addr address{};
  return ::inet_pton(AF_INET, name.c_str(), &address) == 1 ||
         ::inet_pton(AF_INET6, name.c_str(), &address) == 1;
}

std::string Text(const std::function<int(BIO*)>& print) {
  const BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || print(bio.get()) <= 0) return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string NameText(const X509_NAME* name) {
  return Text([name](BIO* bio) { return X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253); });
}

std::vector<std::string> NamesOf(X509* certificate) {
  std::vector<std::string> names;
  const NamesPtr alternatives(static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)));
  for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives.get()); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives.get(), i);
    if (name->type == GEN_DNS) {
      const ASN1_STRING* dns = name->d.dNSName;
      names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                         static_cast<std::size_t>(ASN1_STRING_length(dns)));
    } else if (name->type == GEN_IPADD) {
      const ASN1_OCTET_STRING* ip = name->d.iPAddress;
      char text[INET6_ADDRSTRLEN] = {};
      const int family = ASN1_STRING_length(ip) == 4 ? AF_INET : AF_INET6;
      if (::inet_ntop(family, ASN1_STRING_get0_data(ip), text, sizeof text)) names.push_back(text);
    }
  }
  if (names.empty()) {
    char common[256] = {};
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common,
                                  sizeof common) > 0) {
      names.push_back(common);
    }
  }
  return names;
}

TlsFinding Found(TlsFinding::Kind kind, std::string detail = {}) {
  TlsFinding finding;
  finding.kind = kind;
  finding.detail = std::move(detail);
  return finding;
}

}  // namespace

bool CertificateProbeAvailable() {
  return true;
}

TlsFinding ProbeServerCertificate(const std::string& host, int port,
                                  const EncryptionOptions& encryption, int timeoutSeconds) {
  const ContextPtr context(SSL_CTX_new(TLS_client_method()));
  if (!context) return Found(TlsFinding::Kind::kCannotTell, Reasons());
  if (!encryption.caFile.empty()) {
    if (SSL_CTX_load_verify_locations(context.get(), encryption.caFile.c_str(), nullptr) != 1) {
      return Found(TlsFinding::Kind::kCannotTell,
                   "the certificate file " + encryption.caFile + " cannot be read: " + Reasons());
    }
  } else if (SSL_CTX_set_default_verify_paths(context.get()) != 1) {
    return Found(TlsFinding::Kind::kCannotTell, Reasons());
  }
  // Checked below, so that the handshake goes through and the certificate can be described.
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);

  const std::string expected =
      encryption.hostNameInCertificate.empty() ? host : encryption.hostNameInCertificate;
  const SslPtr ssl(SSL_new(context.get()));
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  if (!ssl || !in || !out) {
    BIO_free(in);
    BIO_free(out);
    return Found(TlsFinding::Kind::kCannotTell, Reasons());
  }
  BIO_set_mem_eof_return(in, -1);
  SSL_set_bio(ssl.get(), in, out);
  SSL_set_connect_state(ssl.get());
  X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl.get());
  if (IsAddress(expected)) {
    X509_VERIFY_PARAM_set1_ip_asc(parameters, expected.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    X509_VERIFY_PARAM_set1_host(parameters, expected.c_str(), 0);
  }

  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  bool answered = false;
  try {
    TdsLink link(host, port, deadline);
    link.Send(kPrelogin, Prelogin());
    const std::uint8_t answer = EncryptionAnswer(link.ReceiveMessage());
    answered = true;
    if (answer == kEncryptNotSupported) return Found(TlsFinding::Kind::kNoEncryption);
    // The handshake travels inside PRELOGIN packets.
    while (true) {
      const int rc = SSL_do_handshake(ssl.get());
      if (const std::size_t pending = BIO_ctrl_pending(out)) {
        Bytes records(pending);
        BIO_read(out, records.data(), static_cast<int>(records.size()));
        link.Send(kPrelogin, records);
      }
      if (rc == 1) break;
      if (SSL_get_error(ssl.get(), rc) != SSL_ERROR_WANT_READ) {
        return Found(TlsFinding::Kind::kHandshakeFailed, Reasons());
      }
      bool last = false;
      const Bytes records = link.ReceivePacket(last);
      BIO_write(in, records.data(), static_cast<int>(records.size()));
    }
  } catch (const TdsLinkError& error) {
    // A server that cannot be reached, or does not answer like SQL Server, is no question of
    // encryption: the driver's own message says enough.
    if (!answered) return Found(TlsFinding::Kind::kNothingFound);
    return Found(TlsFinding::Kind::kHandshakeFailed, error.what());
  }
  if (encryption.trustServerCertificate) return Found(TlsFinding::Kind::kNothingFound);

#if OPENSSL_VERSION_NUMBER >= 0x30000000L
  const CertificatePtr certificate(SSL_get1_peer_certificate(ssl.get()));
#else
  const CertificatePtr certificate(SSL_get_peer_certificate(ssl.get()));
#endif
  if (!certificate) return Found(TlsFinding::Kind::kUntrusted, "the server sent no certificate");
  TlsFinding finding;
  finding.subject = NameText(X509_get_subject_name(certificate.get()));
  finding.issuer = NameText(X509_get_issuer_name(certificate.get()));
  finding.names = NamesOf(certificate.get());
  finding.notAfter =
      Text([&](BIO* bio) { return ASN1_TIME_print(bio, X509_get0_notAfter(certificate.get())); });
  finding.expectedName = expected;
  const long result = SSL_get_verify_result(ssl.get());
  finding.detail = X509_verify_cert_error_string(result);
  switch (result) {
    case X509_V_OK:
      finding.kind = TlsFinding::Kind::kNothingFound;
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      finding.kind = TlsFinding::Kind::kWrongName;
      break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      finding.kind = TlsFinding::Kind::kExpired;
      break;
    default:
      finding.kind = TlsFinding::Kind::kUntrusted;
  }
  return finding;
}

}  // namespace quorvane::connection
