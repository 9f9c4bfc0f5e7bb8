#include "sqlserver_sim/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <limits>
#include <stdexcept>

namespace sqlsim {
namespace {

// OpenSSL's queue of errors as one line, emptied.
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

int Length(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
}

}  // namespace

bool TlsAvailable() {
  return true;
}

struct TlsContext::Impl {
  SSL_CTX* ctx = nullptr;
};

TlsContext::TlsContext(const std::string& certificateFile, const std::string& keyFile)
    : impl_(std::make_unique<Impl>()) {
  impl_->ctx = SSL_CTX_new(TLS_server_method());
  if (!impl_->ctx) throw std::runtime_error("TLS: " + Reasons());
  // TDS 7.x carries TLS 1.2 at most: a 1.3 server sends session tickets after the handshake,
  // when the client no longer expects them inside PRELOGIN packets.
  SSL_CTX_set_min_proto_version(impl_->ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(impl_->ctx, TLS1_2_VERSION);
  if (SSL_CTX_use_certificate_chain_file(impl_->ctx, certificateFile.c_str()) != 1) {
    const std::string reason = Reasons();
    SSL_CTX_free(impl_->ctx);
    throw std::runtime_error("certificate " + certificateFile + ": " + reason);
  }
  if (SSL_CTX_use_PrivateKey_file(impl_->ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(impl_->ctx) != 1) {
    const std::string reason = Reasons();
    SSL_CTX_free(impl_->ctx);
    throw std::runtime_error("key " + keyFile + ": " + reason);
  }
}

TlsContext::~TlsContext() {
  SSL_CTX_free(impl_->ctx);
}

struct TlsStream::Impl {
  SSL* ssl = nullptr;
  BIO* in = nullptr;   // records from the client, owned by `ssl`
  BIO* out = nullptr;  // records to the client, owned by `ssl`

  Bytes Drain() {
    Bytes bytes(BIO_ctrl_pending(out));
    if (!bytes.empty()) BIO_read(out, bytes.data(), Length(bytes.size()));
    return bytes;
  }
  void Fill(std::span<const std::uint8_t> data) {
    if (!data.empty() && BIO_write(in, data.data(), Length(data.size())) != Length(data.size())) {
      throw ProtocolError("TLS: cannot buffer " + std::to_string(data.size()) + " bytes");
    }
  }
};

TlsStream::TlsStream(const TlsContext& context) : impl_(std::make_unique<Impl>()) {
  impl_->ssl = SSL_new(context.impl_->ctx);
  impl_->in = BIO_new(BIO_s_mem());
  impl_->out = BIO_new(BIO_s_mem());
  if (!impl_->ssl || !impl_->in || !impl_->out) {
    BIO_free(impl_->in);
    BIO_free(impl_->out);
    SSL_free(impl_->ssl);
    throw std::runtime_error("TLS: " + Reasons());
  }
  // An empty input buffer means "more is needed", not the end of the stream.
  BIO_set_mem_eof_return(impl_->in, -1);
  SSL_set_bio(impl_->ssl, impl_->in, impl_->out);
  SSL_set_accept_state(impl_->ssl);
}

TlsStream::~TlsStream() {
  SSL_free(impl_->ssl);
}

Bytes TlsStream::Handshake(std::span<const std::uint8_t> fromClient) {
  impl_->Fill(fromClient);
  const int rc = SSL_do_handshake(impl_->ssl);
  if (rc != 1) {
    const int error = SSL_get_error(impl_->ssl, rc);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      // The alert for the client stays for TakeOutput.
      throw ProtocolError("TLS handshake failed: " + Reasons());
    }
  }
  return impl_->Drain();
}

Bytes TlsStream::TakeOutput() {
  return impl_->Drain();
}

bool TlsStream::HandshakeDone() const {
  return SSL_is_init_finished(impl_->ssl) == 1;
}

void TlsStream::Feed(std::span<const std::uint8_t> records) {
  impl_->Fill(records);
}

std::size_t TlsStream::Read(std::uint8_t* data, std::size_t size) {
  const int rc = SSL_read(impl_->ssl, data, Length(size));
  if (rc > 0) return static_cast<std::size_t>(rc);
  const int error = SSL_get_error(impl_->ssl, rc);
  // After the client's close_notify nothing more comes; the end of the stream says so.
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_ZERO_RETURN) return 0;
  throw ProtocolError("TLS: " + Reasons());
}

bool TlsStream::Buffered() const {
  return SSL_pending(impl_->ssl) > 0 || BIO_ctrl_pending(impl_->in) > 0;
}

Bytes TlsStream::Write(std::span<const std::uint8_t> plain) {
  std::size_t written = 0;
  while (written < plain.size()) {
    const int rc = SSL_write(impl_->ssl, plain.data() + written, Length(plain.size() - written));
    if (rc <= 0) throw ProtocolError("TLS: " + Reasons());
    written += static_cast<std::size_t>(rc);
  }
  return impl_->Drain();
}

}  // namespace sqlsim
