#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "sqlserver_sim/bytes.h"

// TLS as SQL Server speaks it over TDS 7.x: the handshake travels inside PRELOGIN packets, the
// records after it go straight over the socket. Built on OpenSSL through memory buffers, so it
// never touches the socket itself; without OpenSSL every use throws.
namespace sqlsim {

// True when this build of the simulator can encrypt.
bool TlsAvailable();

// The server's certificate chain and key, loaded once and shared by every connection.
class TlsContext {
 public:
  // PEM files. Throws std::runtime_error naming the file and OpenSSL's reason.
  TlsContext(const std::string& certificateFile, const std::string& keyFile);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

 private:
  friend class TlsStream;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The server's end of one TLS session. Failures throw ProtocolError with OpenSSL's reason.
class TlsStream {
 public:
  explicit TlsStream(const TlsContext& context);
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // One step of the handshake: takes what the client sent and returns what goes back (empty
  // while more is needed from the client).
  Bytes Handshake(std::span<const std::uint8_t> fromClient);
  // After a failed step: the alert that tells the client why.
  Bytes TakeOutput();
  bool HandshakeDone() const;

  // Records received from the client.
  void Feed(std::span<const std::uint8_t> records);
  // Decrypted bytes, at most `size`; 0 when a whole record has not arrived yet (or the client
  // has closed the session).
  std::size_t Read(std::uint8_t* data, std::size_t size);
  // Bytes fed or decrypted that Read has not returned yet.
  bool Buffered() const;
  // The records that carry `plain`.
  Bytes Write(std::span<const std::uint8_t> plain);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sqlsim
