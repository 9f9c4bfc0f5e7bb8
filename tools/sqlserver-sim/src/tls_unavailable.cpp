#include <stdexcept>

#include "sqlserver_sim/tls.h"

// The simulator built without OpenSSL: a scenario that asks for encryption is refused.
namespace sqlsim {
namespace {

[[noreturn]] void Unavailable() {
  throw std::runtime_error("this simulator was built without OpenSSL and cannot encrypt");
}

}  // namespace

bool TlsAvailable() {
  return false;
}

struct TlsContext::Impl {};
TlsContext::TlsContext(const std::string&, const std::string&) {
  Unavailable();
}
TlsContext::~TlsContext() = default;

struct TlsStream::Impl {};
TlsStream::TlsStream(const TlsContext&) {
  Unavailable();
}
TlsStream::~TlsStream() = default;
Bytes TlsStream::Handshake(std::span<const std::uint8_t>) {
  Unavailable();
}
Bytes TlsStream::TakeOutput() {
  return {};
}
bool TlsStream::HandshakeDone() const {
  return false;
}
void TlsStream::Feed(std::span<const std::uint8_t>) {
  Unavailable();
}
std::size_t TlsStream::Read(std::uint8_t*, std::size_t) {
  Unavailable();
}
bool TlsStream::Buffered() const {
  return false;
}
Bytes TlsStream::Write(std::span<const std::uint8_t>) {
  Unavailable();
}

}  // namespace sqlsim
