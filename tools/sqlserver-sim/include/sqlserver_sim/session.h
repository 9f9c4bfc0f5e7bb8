#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/packets.h"
#include "sqlserver_sim/rpc.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/socket.h"
#include "sqlserver_sim/tls.h"
#include "sqlserver_sim/types.h"

namespace sqlsim {

// What the scenario's faults count over every connection of one server.
struct ServerFaultState {
  std::atomic<int> batches{0};
  std::atomic<bool> dropped{false};  // a fault has dropped a connection
};

// One client connection, served on its own thread: handshake, then requests until the client
// leaves, the scenario drops it or the server stops.
class Session {
 public:
  struct Hooks {
    // Called with the text of every batch and RPC statement before it is answered.
    std::function<void(const std::string&)> onBatch;
    // Called with the bytes of every read from the socket, as they came, encrypted or not.
    std::function<void(std::span<const std::uint8_t>)> onReceived;
  };

  // `wakeFd` becomes readable when the server stops; every wait watches it. `tls` is the
  // server's certificate, or null when it has none.
  Session(const Scenario& scenario, ServerFaultState& faults, SocketHandle fd, SocketHandle wakeFd,
          std::uint16_t spid, Hooks hooks, const TlsContext* tls = nullptr);
  void Run();

 private:
  // One piece of a planned response. DONE tokens stay separate until the plan is complete,
  // so that every DONE but the last can be given DONE_MORE.
  struct Step {
    // RowStream and Results are made while they are sent, in constant memory.
    enum class Kind { Tokens, Done, Delay, Drop, RowStream, Results } kind = Kind::Tokens;
    Bytes bytes;
    std::shared_ptr<const RowSource> rows;        // RowStream: COLMETADATA and the rows
    std::shared_ptr<const ResultSource> results;  // Results: whole results, DONEs included
    bool procedure = false;                       // Results: DONEINPROC rather than DONE
    bool more = false;                            // Results: a DONE follows it
    std::uint8_t token = 0;
    std::uint16_t status = 0;
    std::uint16_t curCmd = 0;
    std::uint64_t count = 0;
    int delayMs = 0;
  };
  enum class WaitResult { Elapsed, Attention, Closed };

  bool ReadMessage(Message& out);
  bool ReadFromSocket(Message& out);
  bool ReadExact(std::uint8_t* data, std::size_t size);
  // One read from the socket, waiting for it: bytes read, 0 when the connection has ended.
  std::size_t ReceiveRaw(std::uint8_t* data, std::size_t size);
  bool SendAll(std::span<const std::uint8_t> data);
  bool SendRaw(std::span<const std::uint8_t> data);
  bool SendResponse(std::span<const std::uint8_t> payload, bool endOfMessage,
                    std::uint8_t type = kTabularResult);
  void Drop();
  void DropByFault();
  bool RefusesLogins() const;
  void SendMalformedMetadata();

  bool Handshake();
  // The TLS handshake inside PRELOGIN packets, `first` already read when not null;
  // afterwards every byte goes through TLS.
  bool StartTls(const PacketHeader* first);
  void HandleBatch(const Message& message);
  void HandleRpc(const Message& message);
  void HandleTransaction(const Message& message);
  // After an ATTENTION: the rest of `buffer` and a final DONE end the response, then the
  // acknowledgement follows.
  void EndCancelledResponse(ByteWriter& buffer);
  void SendAttentionAck();

  // Appends the answer to `sql` (scenario rule, built-in or unknown-batch error).
  void PlanStatement(const std::string& sql, bool insideProcedure, std::vector<Step>& plan,
                     std::int32_t* returnStatus);
  void PlanResults(const std::vector<ResultItem>& items, bool procedure, std::vector<Step>& plan);
  void PlanError(const ServerMessage& message, bool procedure, std::vector<Step>& plan,
                 std::optional<std::uint64_t> count = std::nullopt);
  static void AddTokens(std::vector<Step>& plan, Bytes bytes);
  static void AddDone(std::vector<Step>& plan, std::uint8_t token, std::uint16_t status,
                      std::uint16_t curCmd, std::uint64_t count);
  void Execute(std::vector<Step> plan);
  // Sends one step of a response; false when the response has ended (cancelled, dropped,
  // connection closed).
  bool Emit(const Step& step, ByteWriter& buffer);
  // Sends the whole packets of a long response once enough has been gathered, and answers a
  // cancel that arrived meanwhile. Called between tokens only.
  bool Flush(ByteWriter& buffer);
  // Polls at least once, so Wait(0) notices an ATTENTION already received.
  WaitResult Wait(int milliseconds);
  // Counts a batch; true when a fault has taken it (dropped, or answered with garbage).
  bool CountBatch(const std::string& text);

  const Scenario& scenario_;
  ServerFaultState& faults_;
  SocketHandle fd_;
  SocketHandle wakeFd_;
  std::uint16_t spid_;
  Hooks hooks_;
  const TlsContext* tlsContext_;
  std::unique_ptr<TlsStream> tls_;  // set while the connection is encrypted

  Tds version_ = Tds::V74;
  std::size_t packetSize_ = kDefaultPacketSize;
  std::uint8_t packetId_ = 1;
  std::string database_;
  int batchCount_ = 0;
  bool closed_ = false;
  MessageAssembler assembler_;
  std::deque<Message> pending_;  // requests that arrived while a delay was running
  std::map<std::int32_t, std::string> prepared_;
  std::int32_t nextHandle_ = 1;
  std::uint64_t transaction_ = 0;  // descriptor of the open transaction, 0 = none
};

}  // namespace sqlsim
