#include "sqlserver_sim/session.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <random>

#include "net.h"
#include "sqlserver_sim/case_check.h"
#include "sqlserver_sim/login.h"
#include "sqlserver_sim/ntlm.h"
#include "sqlserver_sim/text.h"
#include "sqlserver_sim/tokens.h"
#include "sqlserver_sim/top_rows.h"

namespace sqlsim {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string FirstWord(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  std::size_t start = i;
  while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])) && s[i] != ';') ++i;
  return Lower(s.substr(start, i - start));
}

// The database named by "USE x" / "USE [x]", or empty.
std::string UseTarget(std::string_view sql) {
  if (FirstWord(sql) != "use") return {};
  std::size_t i = sql.find_first_not_of(" \t\r\n");
  i = sql.find_first_of(" \t\r\n", i);
  if (i == std::string_view::npos) return {};
  std::string_view rest = sql.substr(i);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
    rest.remove_prefix(1);
  while (!rest.empty() &&
         (std::isspace(static_cast<unsigned char>(rest.back())) || rest.back() == ';')) {
    rest.remove_suffix(1);
  }
  if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']')
    rest = rest.substr(1, rest.size() - 2);
  return std::string(rest);
}

// The languages named by the batch's "SET LANGUAGE x" statements, one a line, in order.
std::vector<std::string> SetLanguages(std::string_view sql) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < sql.size()) {
    std::size_t end = sql.find('\n', start);
    if (end == std::string_view::npos) end = sql.size();
    const std::string_view line = sql.substr(start, end - start);
    start = end + 1;
    if (FirstWord(line) != "set") continue;
    const std::string_view rest = line.substr(line.find_first_not_of(" \t\r"));
    const std::size_t name = Lower(rest).rfind("set language ", 0) == 0
                                 ? rest.find_first_not_of(" \t", 13)
                                 : std::string_view::npos;
    if (name == std::string_view::npos) continue;
    std::string_view value = rest.substr(name);
    value = value.substr(0, value.find_first_of(" \t\r;"));
    if (value.size() >= 2 && value.front() == '[' && value.back() == ']')
      value = value.substr(1, value.size() - 2);
    if (!value.empty()) names.emplace_back(value);
  }
  return names;
}

const RpcParam* Param(const RpcCall& call, std::size_t position, std::string_view name) {
  for (const RpcParam& p : call.params) {
    if (!p.name.empty() && Lower(p.name) == name) return &p;
  }
  return position < call.params.size() ? &call.params[position] : nullptr;
}

ServerMessage LoginFailed(const std::string& user) {
  return ServerMessage{18456, 1, 14, "Login failed for user '" + user + "'.", "", 1};
}

}  // namespace

Session::Session(const Scenario& scenario, ServerFaultState& faults, SocketHandle fd,
                 SocketHandle wakeFd, std::uint16_t spid, Hooks hooks, const TlsContext* tls)
    : scenario_(scenario),
      faults_(faults),
      fd_(fd),
      wakeFd_(wakeFd),
      spid_(spid),
      hooks_(std::move(hooks)),
      tlsContext_(tls) {}

void Session::Run() {
  if (!Handshake()) return;
  Message m;
  while (!closed_ && ReadMessage(m)) {
    if ((m.status & kIgnoreMessage) != 0) continue;
    switch (m.type) {
      case kSqlBatch:
        HandleBatch(m);
        break;
      case kRpc:
        HandleRpc(m);
        break;
      case kAttention:
        SendAttentionAck();
        break;
      case kTransactionManager:
        HandleTransaction(m);
        break;
      default:
        throw ProtocolError("unexpected message type " + std::to_string(m.type));
    }
  }
}

// ---- I/O ------------------------------------------------------------------------------------

std::size_t Session::ReceiveRaw(std::uint8_t* data, std::size_t size) {
  while (true) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (net::Poll(fds, 2, -1) < 0) {
      if (net::ShouldRetry()) continue;
      return 0;
    }
    if (fds[1].revents != 0) return 0;
    const long long n = net::Receive(fd_, data, size);
    if (n < 0 && net::ShouldRetry()) continue;
    if (n <= 0) return 0;
    const auto got = static_cast<std::size_t>(n);
    if (hooks_.onReceived) hooks_.onReceived({data, got});
    return got;
  }
}

bool Session::ReadExact(std::uint8_t* data, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    if (!tls_) {
      // Exactly what is missing: what follows may have to go through TLS.
      const std::size_t n = ReceiveRaw(data + got, size - got);
      if (n == 0) return false;
      got += n;
      continue;
    }
    if (const std::size_t n = tls_->Read(data + got, size - got); n > 0) {
      got += n;
      continue;
    }
    std::uint8_t records[16 * 1024];
    const std::size_t n = ReceiveRaw(records, sizeof records);
    if (n == 0) return false;
    tls_->Feed({records, n});
  }
  return true;
}

bool Session::ReadFromSocket(Message& out) {
  while (true) {
    std::uint8_t raw[kPacketHeaderSize];
    if (!ReadExact(raw, sizeof raw)) return false;
    const PacketHeader h =
        DecodePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize>(raw));
    Bytes body(h.length - kPacketHeaderSize);
    if (!body.empty() && !ReadExact(body.data(), body.size())) return false;
    if (auto message = assembler_.Add(h, body)) {
      out = std::move(*message);
      return true;
    }
  }
}

bool Session::ReadMessage(Message& out) {
  if (!pending_.empty()) {
    out = std::move(pending_.front());
    pending_.pop_front();
    return true;
  }
  return ReadFromSocket(out);
}

bool Session::SendAll(std::span<const std::uint8_t> data) {
  if (tls_) return SendRaw(tls_->Write(data));
  return SendRaw(data);
}

bool Session::SendRaw(std::span<const std::uint8_t> data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const long long n = net::Send(fd_, data.data() + sent, data.size() - sent);
    if (n < 0) {
      if (net::ShouldRetry()) continue;
      closed_ = true;
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool Session::SendResponse(std::span<const std::uint8_t> payload, bool endOfMessage,
                           std::uint8_t type) {
  if (payload.empty() && !endOfMessage) return true;
  const Bytes packets = FramePackets(type, payload, packetSize_, spid_, packetId_, endOfMessage);
  // Packet numbers restart with every message, as SQL Server's do.
  if (endOfMessage) packetId_ = 1;
  return SendAll(packets);
}

void Session::Drop() {
  // The owner closes the descriptor after this thread ends; shutting down here is what the
  // client notices.
  net::Shutdown(fd_);
  closed_ = true;
}

void Session::DropByFault() {
  // Set before the client can see the end of the stream, so that its reconnection already
  // finds the server gone.
  faults_.dropped = true;
  Drop();
}

bool Session::RefusesLogins() const {
  return scenario_.refuseLogins || (scenario_.refuseLoginsAfterDrop && faults_.dropped);
}

// ---- handshake ------------------------------------------------------------------------------

bool Session::Handshake() {
  Message m;
  if (!ReadMessage(m)) return false;
  bool loginOnly = false;
  if (m.type == kPrelogin) {
    const auto options = ParsePrelogin(m.payload);
    const auto option = options.find(kPreloginEncryption);
    const std::uint8_t client = option != options.end() && !option->second.empty()
                                    ? option->second[0]
                                    : static_cast<std::uint8_t>(kEncryptNotSupported);
    const bool required = scenario_.encryption && scenario_.encryption->required;
    const std::uint8_t answer = NegotiateEncryption(client, tlsContext_ != nullptr, required);
    if (!SendResponse(BuildPreloginResponse(scenario_.versionBytes, scenario_.revision, answer),
                      true)) {
      return false;
    }
    if (answer == kEncryptRequired && client == kEncryptNotSupported) {
      // The client said it cannot encrypt. FreeTDS tries all the same; a client that goes on
      // in plain text is not served.
      std::uint8_t raw[kPacketHeaderSize];
      if (!ReadExact(raw, sizeof raw)) return false;
      const PacketHeader first =
          DecodePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize>(raw));
      if (first.type != kPrelogin) {
        Drop();
        return false;
      }
      if (!StartTls(&first)) return false;
    } else if (client != kEncryptNotSupported && answer != kEncryptNotSupported) {
      if (!StartTls(nullptr)) return false;
      loginOnly = answer == kEncryptOff;
    }
    if (!ReadMessage(m)) return false;
  }
  if (loginOnly) {
    // Both sides asked for no encryption, so only the LOGIN7 was; the rest is plain again.
    if (tls_->Buffered()) throw ProtocolError("encrypted data after a login-only LOGIN7");
    tls_.reset();
  }
  if (m.type != kLogin7) {
    throw ProtocolError("expected a LOGIN7 message, got type " + std::to_string(m.type) +
                        " (only TDS 7.1-7.4 clients are supported)");
  }
  const Login7 login = ParseLogin7(m.payload);
  const std::uint8_t major = static_cast<std::uint8_t>(login.tdsVersion >> 24);
  if (major >= 0x74) {
    version_ = Tds::V74;
  } else if (major == 0x73) {
    version_ = Tds::V73;
  } else if (major == 0x72) {
    version_ = Tds::V72;
  } else {
    version_ = Tds::V71;
  }

  ByteWriter out;
  auto refuse = [&](const ServerMessage& message) {
    WriteMessage(out, true, message, scenario_.serverName, version_);
    WriteDone(out, kTokenDone, kDoneError, 0, 0, version_);
    SendResponse(out.Data(), true);
    Drop();
    return false;
  };
  if (major < 0x71) {
    return refuse(ServerMessage{18456, 1, 14,
                                "Login failed: the simulator speaks TDS 7.1 to 7.4 only.", "", 1});
  }
  if (login.IntegratedSecurity()) {
    // NTLM (what FreeTDS does for UID=DOMAIN\user) is checked against the scenario's Windows
    // logins; Kerberos and anything else cannot be, so they meet an untrusted domain.
    if (!ntlm::IsMessage(login.sspi, 1)) {
      return refuse(ServerMessage{18452, 1, 14,
                                  "Login failed. The login is from an untrusted domain and cannot "
                                  "be used with Integrated authentication.",
                                  "", 1});
    }
    ntlm::Challenge challenge{};
    std::random_device random;
    for (auto& b : challenge) b = static_cast<std::uint8_t>(random());
    const Bytes message = ntlm::BuildChallenge(challenge, scenario_.domain, scenario_.serverName);
    ByteWriter sspi;
    sspi.U8(kTokenSspi);
    sspi.U16(static_cast<std::uint16_t>(message.size()));
    sspi.Append(message);
    if (!SendResponse(sspi.Data(), true)) return false;
    Message reply;
    if (!ReadMessage(reply)) return false;
    if (reply.type != kSspi) {
      throw ProtocolError("expected the NTLM answer, got message type " +
                          std::to_string(reply.type));
    }
    const ntlm::Authenticate answer = ntlm::ParseAuthenticate(reply.payload);
    const std::string account = answer.domain + "\\" + answer.user;
    const Login* windowsLogin = scenario_.FindLogin(account);
    const bool accepted =
        !RefusesLogins() &&
        (!scenario_.logins ||
         (windowsLogin && ntlm::VerifyV2(answer, windowsLogin->password, challenge)));
    if (!accepted) return refuse(LoginFailed(account));
  } else if (RefusesLogins() || !scenario_.AcceptsLogin(login.userName, login.password)) {
    return refuse(LoginFailed(login.userName));
  }

  database_ = login.database.empty() ? scenario_.database : login.database;
  std::size_t negotiated = login.packetSize == 0 ? kDefaultPacketSize : login.packetSize;
  negotiated = std::clamp(negotiated, kMinPacketSize, kMaxPacketSize);

  WriteEnvChange(out, kEnvDatabase, database_, "master");
  WriteMessage(out, false,
               ServerMessage{5701, 2, 0, "Changed database context to '" + database_ + "'.", "", 1},
               scenario_.serverName, version_);
  WriteEnvChangeBinary(out, kEnvCollation, kDefaultCollation, {});
  WriteEnvChange(out, kEnvLanguage, scenario_.language, "");
  WriteMessage(
      out, false,
      ServerMessage{5703, 1, 0, "Changed language setting to " + scenario_.language + ".", "", 1},
      scenario_.serverName, version_);
  WriteLoginAck(out, version_, scenario_.productName, scenario_.versionBytes);
  WriteEnvChange(out, kEnvPacketSize, std::to_string(negotiated), std::to_string(packetSize_));
  WriteDone(out, kTokenDone, kDoneFinal, 0, 0, version_);
  if (!SendResponse(out.Data(), true)) return false;
  packetSize_ = negotiated;
  return true;
}

bool Session::StartTls(const PacketHeader* first) {
  auto stream = std::make_unique<TlsStream>(*tlsContext_);
  while (!stream->HandshakeDone()) {
    PacketHeader h;
    if (first) {
      h = *first;
      first = nullptr;
    } else {
      std::uint8_t raw[kPacketHeaderSize];
      if (!ReadExact(raw, sizeof raw)) return false;
      h = DecodePacketHeader(std::span<const std::uint8_t, kPacketHeaderSize>(raw));
    }
    if (h.type != kPrelogin) {
      throw ProtocolError("expected the TLS handshake in a PRELOGIN packet, got type " +
                          std::to_string(h.type));
    }
    Bytes body(h.length - kPacketHeaderSize);
    if (!body.empty() && !ReadExact(body.data(), body.size())) return false;
    Bytes reply;
    try {
      reply = stream->Handshake(body);
    } catch (const ProtocolError&) {
      SendResponse(stream->TakeOutput(), true, kPrelogin);
      throw;
    }
    if (!reply.empty() && !SendResponse(reply, true, kPrelogin)) return false;
  }
  tls_ = std::move(stream);
  return true;
}

// ---- requests -------------------------------------------------------------------------------

bool Session::CountBatch(const std::string& text) {
  if (hooks_.onBatch) hooks_.onBatch(text);
  ++batchCount_;
  const int serverBatch = ++faults_.batches;
  if ((scenario_.dropAtBatch > 0 && batchCount_ == scenario_.dropAtBatch) ||
      (scenario_.dropOnceAtBatch > 0 && serverBatch == scenario_.dropOnceAtBatch)) {
    DropByFault();
    return true;
  }
  if (scenario_.malformedMetadataAtBatch > 0 && serverBatch == scenario_.malformedMetadataAtBatch) {
    SendMalformedMetadata();
    return true;
  }
  return false;
}

void Session::SendMalformedMetadata() {
  const bool stall = scenario_.malformedMetadata == MalformedMetadata::Stall;
  ByteWriter out;
  out.U8(kTokenColMetadata);
  out.U16(stall ? 2 : 1);
  if (version_ >= Tds::V72) {
    out.U32(0);
  } else {
    out.U16(0);
  }
  out.U16(0x0001);  // nullable
  out.U8(0x26);     // INTN
  // No integer is 3 bytes wide: FreeTDS finds no ODBC type for it and fails an assert().
  out.U8(stall ? 4 : 3);
  out.BVarchar(u"value");
  if (!stall) {
    // The rest is consistent with the bad width, for a client that survives the column.
    out.U8(kTokenRow);
    out.U8(3);
    out.Append(Bytes{1, 0, 0});
    WriteDone(out, kTokenDone, kDoneCount, kCmdSelect, 1, version_);
    SendResponse(out.Data(), true);
    return;
  }
  // Without EOM, so that the client keeps waiting for the rest of the message.
  if (!SendResponse(out.Data(), false)) return;
  while (true) {
    switch (Wait(3'600'000)) {
      case WaitResult::Elapsed:
        continue;
      case WaitResult::Attention:
        // The client is inside the token: a DONE(ATTN) would only be read as more column
        // data, so the cancel can only be answered by hanging up.
        Drop();
        return;
      case WaitResult::Closed:
        closed_ = true;
        return;
    }
  }
}

void Session::HandleBatch(const Message& message) {
  const std::span<const std::uint8_t> payload(message.payload);
  const std::size_t headers = AllHeadersLength(payload, version_);
  const std::string text = Utf16ToUtf8(Utf16FromLe(payload.subspan(headers)));
  if (CountBatch(text)) return;
  std::vector<Step> plan;
  PlanStatement(text, false, plan, nullptr);
  Execute(std::move(plan));
}

void Session::HandleRpc(const Message& message) {
  const std::vector<RpcCall> calls = ParseRpc(message.payload, version_);
  std::vector<Step> plan;
  for (const RpcCall& call : calls) {
    const std::string name = Lower(call.Name());
    std::int32_t returnStatus = 0;
    std::optional<std::pair<const RpcParam*, std::int32_t>> handleOut;
    auto finishProc = [&]() {
      ByteWriter tail;
      WriteReturnStatus(tail, returnStatus);
      if (handleOut) {
        const auto ordinal = static_cast<std::uint16_t>(handleOut->first - call.params.data());
        WriteReturnValueInt(tail, ordinal, handleOut->first->name, handleOut->second, version_);
      }
      AddTokens(plan, tail.Take());
      AddDone(plan, kTokenDoneProc, kDoneFinal, kCmdExecute, 0);  // no DONE_ERROR: see below
    };
    auto statementOf = [&](std::size_t position) -> std::string {
      const RpcParam* stmt = Param(call, position, "@stmt");
      if (!stmt || stmt->null) throw ProtocolError(call.Name() + " without a statement");
      return stmt->text;
    };

    if (name == "sp_executesql") {
      const std::string sql = statementOf(0);
      if (CountBatch(sql)) return;
      PlanStatement(sql, true, plan, &returnStatus);
      finishProc();
    } else if (name == "sp_prepexec" || name == "sp_prepare") {
      const std::string sql = statementOf(2);
      const RpcParam* handle = Param(call, 0, "@handle");
      if (!handle) throw ProtocolError(call.Name() + " without a handle parameter");
      const std::int32_t id = nextHandle_++;
      prepared_[id] = sql;
      handleOut.emplace(handle, id);
      if (name == "sp_prepexec") {
        if (CountBatch(sql)) return;
        PlanStatement(sql, true, plan, &returnStatus);
      }
      finishProc();
    } else if (name == "sp_execute") {
      const RpcParam* handle = Param(call, 0, "@handle");
      const auto it = handle && handle->integer
                          ? prepared_.find(static_cast<std::int32_t>(*handle->integer))
                          : prepared_.end();
      if (it == prepared_.end()) {
        PlanError(ServerMessage{8179, 4, 16,
                                "Could not find prepared statement with handle " +
                                    (handle ? handle->literal : std::string("NULL")) + ".",
                                "", 1},
                  true, plan);
      } else {
        if (CountBatch(it->second)) return;
        PlanStatement(it->second, true, plan, &returnStatus);
      }
      finishProc();
    } else if (name == "sp_unprepare") {
      const RpcParam* handle = Param(call, 0, "@handle");
      if (handle && handle->integer) prepared_.erase(static_cast<std::int32_t>(*handle->integer));
      finishProc();
    } else {
      const std::string text = CallText(call);
      if (CountBatch(text)) return;
      PlanStatement(text, true, plan, &returnStatus);
      finishProc();
    }
  }
  Execute(std::move(plan));
}

void Session::HandleTransaction(const Message& message) {
  const std::span<const std::uint8_t> payload(message.payload);
  ByteReader r(payload);
  r.Seek(AllHeadersLength(payload, version_));
  const std::uint16_t request = r.U16();
  ByteWriter out;
  auto descriptor = [](std::uint64_t id) {
    ByteWriter w;
    w.U64(id);
    return w.Take();
  };
  static constexpr std::uint16_t kBegin = 5;
  static constexpr std::uint16_t kCommit = 7;
  static constexpr std::uint16_t kRollback = 8;
  if (request == kBegin) {
    transaction_ =
        (static_cast<std::uint64_t>(spid_) << 32) | static_cast<std::uint64_t>(nextHandle_++);
    WriteEnvChangeBinary(out, kEnvBeginTransaction, descriptor(transaction_), {});
  } else if (request == kCommit || request == kRollback) {
    if (transaction_ != 0) {
      WriteEnvChangeBinary(out,
                           request == kCommit ? kEnvCommitTransaction : kEnvRollbackTransaction, {},
                           descriptor(transaction_));
      transaction_ = 0;
    }
    // The request may ask for a new transaction to start right away.
    const std::uint8_t nameLength = r.U8();
    r.Skip(static_cast<std::size_t>(nameLength) * 2);
    if (!r.AtEnd() && (r.U8() & 0x01) != 0) {
      transaction_ =
          (static_cast<std::uint64_t>(spid_) << 32) | static_cast<std::uint64_t>(nextHandle_++);
      WriteEnvChangeBinary(out, kEnvBeginTransaction, descriptor(transaction_), {});
    }
  }
  WriteDone(out, kTokenDone, kDoneFinal, 0, 0, version_);
  SendResponse(out.Data(), true);
}

void Session::EndCancelledResponse(ByteWriter& buffer) {
  // SQL Server ends the response it was sending, then acknowledges the ATTENTION in a message
  // of its own: tedious reads the acknowledgement only from the message after the response.
  WriteDone(buffer, kTokenDone, kDoneFinal, 0, 0, version_);
  if (SendResponse(buffer.Data(), true)) SendAttentionAck();
  buffer.Clear();
}

void Session::SendAttentionAck() {
  ByteWriter out;
  WriteDone(out, kTokenDone, kDoneAttention, 0, 0, version_);
  SendResponse(out.Data(), true);
}

// ---- planning -------------------------------------------------------------------------------

void Session::AddTokens(std::vector<Step>& plan, Bytes bytes) {
  Step s;
  s.kind = Step::Kind::Tokens;
  s.bytes = std::move(bytes);
  plan.push_back(std::move(s));
}

void Session::AddDone(std::vector<Step>& plan, std::uint8_t token, std::uint16_t status,
                      std::uint16_t curCmd, std::uint64_t count) {
  Step s;
  s.kind = Step::Kind::Done;
  s.token = token;
  s.status = status;
  s.curCmd = curCmd;
  s.count = count;
  plan.push_back(std::move(s));
}

void Session::PlanError(const ServerMessage& message, bool procedure, std::vector<Step>& plan,
                        std::optional<std::uint64_t> count) {
  ByteWriter w;
  WriteMessage(w, true, message, scenario_.serverName, version_);
  AddTokens(plan, w.Take());
  AddDone(plan, procedure ? kTokenDoneInProc : kTokenDone,
          count ? kDoneError | kDoneCount : kDoneError, 0, count.value_or(0));
}

void Session::PlanResults(const std::vector<ResultItem>& items, bool procedure,
                          std::vector<Step>& plan) {
  const std::uint8_t done = procedure ? kTokenDoneInProc : kTokenDone;
  for (const ResultItem& item : items) {
    switch (item.kind) {
      case ResultItem::Kind::Rows: {
        if (item.source) {
          Step s;
          s.kind = Step::Kind::RowStream;
          s.rows = item.source;
          plan.push_back(std::move(s));
          AddDone(plan, done, kDoneCount, kCmdSelect, item.source->Size());
          break;
        }
        ByteWriter w;
        WriteColMetadata(w, item.rows->columns, version_);
        for (const auto& row : item.rows->rows) WriteRow(w, item.rows->columns, row, version_);
        AddTokens(plan, w.Take());
        AddDone(plan, done, kDoneCount, kCmdSelect, item.rows->rows.size());
        break;
      }
      case ResultItem::Kind::Count:
        AddDone(plan, done, kDoneCount, 0, item.count);
        break;
      case ResultItem::Kind::Info: {
        ByteWriter w;
        WriteMessage(w, false, item.message, scenario_.serverName, version_);
        AddTokens(plan, w.Take());
        break;
      }
      case ResultItem::Kind::Error:
        PlanError(item.message, procedure, plan, item.errorCount);
        break;
      case ResultItem::Kind::Delay: {
        Step s;
        s.kind = Step::Kind::Delay;
        s.delayMs = item.delayMs;
        plan.push_back(std::move(s));
        break;
      }
      case ResultItem::Kind::Drop: {
        Step s;
        s.kind = Step::Kind::Drop;
        plan.push_back(std::move(s));
        return;
      }
    }
  }
}

void Session::PlanStatement(const std::string& sql, bool insideProcedure, std::vector<Step>& plan,
                            std::int32_t* returnStatus) {
  if (scenario_.caseSensitive) {
    // A misspelt name fails the batch before any rule is looked at, as it fails compilation.
    if (const auto error = CaseSensitiveError(sql)) {
      PlanError(*error, insideProcedure, plan);
      return;
    }
  }
  const BatchRule* rule = scenario_.Find(sql);
  const std::vector<ResultItem>* results = rule ? &rule->results : nullptr;
  std::vector<ResultItem> cut;
  if (rule && rule->topLast) {
    if (const auto top = LastTopCount(sql)) {
      cut = CutLastRowSet(rule->results, *top);
      results = &cut;
    }
  }
  bool asProcedure = false;
  if (rule) {
    asProcedure = rule->procedure.value_or(LooksLikeProcedureCall(sql));
  } else if (const std::string target = UseTarget(sql); !target.empty()) {
    // Built in because every client may switch databases.
    ByteWriter w;
    WriteEnvChange(w, kEnvDatabase, target, database_);
    WriteMessage(w, false,
                 ServerMessage{5701, 1, 0, "Changed database context to '" + target + "'.", "", 1},
                 scenario_.serverName, version_);
    database_ = target;
    AddTokens(plan, w.Take());
    AddDone(plan, insideProcedure ? kTokenDoneInProc : kTokenDone, kDoneFinal, 0, 0);
    return;
  } else if (FirstWord(sql) == "set") {
    // Session options (SET TEXTSIZE, SET NOCOUNT, ...) that drivers send on their own. SET
    // LANGUAGE is answered as SQL Server does (tedious sends it after every login).
    ByteWriter w;
    for (const std::string& language : SetLanguages(sql)) {
      WriteEnvChange(w, kEnvLanguage, language, scenario_.language);
      WriteMessage(
          w, false,
          ServerMessage{5703, 1, 0, "Changed language setting to " + language + ".", "", 1},
          scenario_.serverName, version_);
    }
    if (w.Size() > 0) AddTokens(plan, w.Take());
    AddDone(plan, insideProcedure ? kTokenDoneInProc : kTokenDone, kDoneFinal, 0, 0);
    return;
  } else if (scenario_.unknown == UnknownMode::Results) {
    results = &scenario_.unknownResults;
    asProcedure = LooksLikeProcedureCall(sql);
  } else {
    PlanError(UnknownBatchError(scenario_.unknown, sql), insideProcedure, plan);
    return;
  }

  auto planResults = [&](bool procedure) {
    if (!rule || !rule->generated) {
      PlanResults(*results, procedure, plan);
      return;
    }
    Step s;
    s.kind = Step::Kind::Results;
    s.results = rule->generated;
    s.procedure = procedure;
    plan.push_back(std::move(s));
  };
  if (insideProcedure) {
    planResults(true);
    if (returnStatus && rule) *returnStatus = rule->returnStatus;
    return;
  }
  if (!asProcedure) {
    planResults(false);
    return;
  }
  planResults(true);
  if (!plan.empty() && plan.back().kind == Step::Kind::Drop) return;
  ByteWriter w;
  WriteReturnStatus(w, rule ? rule->returnStatus : 0);
  AddTokens(plan, w.Take());
  // Errors are flagged on the DONEINPROC after them only. With DONE_ERROR on the DONEPROC,
  // FreeTDS fails the fetch that reaches it, without a message, even after a good row set.
  AddDone(plan, kTokenDoneProc, kDoneFinal, kCmdExecute, 0);
}

// ---- execution ------------------------------------------------------------------------------

Session::WaitResult Session::Wait(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (true) {
    const auto remaining = std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    // Records already taken from the socket are not seen by poll.
    const bool buffered = tls_ && tls_->Buffered();
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = net::Poll(
        fds, 2, buffered ? 0 : static_cast<int>(std::min<long long>(remaining, 1'000'000)));
    if (ready < 0) {
      if (net::ShouldRetry()) continue;
      return WaitResult::Closed;
    }
    if (fds[1].revents != 0) return WaitResult::Closed;
    if (fds[0].revents == 0 && !buffered) {
      if (remaining == 0) return WaitResult::Elapsed;
      continue;
    }
    // The client is talking while the "query" runs: an ATTENTION cancels it, anything else
    // waits its turn.
    Message m;
    if (!ReadFromSocket(m)) return WaitResult::Closed;
    if (m.type == kAttention) return WaitResult::Attention;
    pending_.push_back(std::move(m));
  }
}

void Session::Execute(std::vector<Step> plan) {
  const bool drops = std::any_of(plan.begin(), plan.end(),
                                 [](const Step& s) { return s.kind == Step::Kind::Drop; });
  // Generated results end with a DONE of their own when they hold any group.
  auto isDone = [](const Step& s) {
    return s.kind == Step::Kind::Done || (s.kind == Step::Kind::Results && s.results->Groups() > 0);
  };
  // A response always ends with a DONE: add one when the last statement left none (an info
  // message or a delay at the end, or an empty result list).
  if (!drops && (plan.empty() || !isDone(plan.back()))) {
    AddDone(plan, kTokenDone, kDoneFinal, 0, 0);
  }
  // A connection dropped mid-response was meant to send more, so the DONEs before the drop
  // keep DONE_MORE and the client goes on reading into the broken link.
  bool laterDone = drops;
  for (auto it = plan.rbegin(); it != plan.rend(); ++it) {
    if (!isDone(*it)) continue;
    if (laterDone) {
      it->status |= kDoneMore;
      it->more = true;
    }
    laterDone = true;
  }

  ByteWriter buffer;
  for (const Step& step : plan) {
    if (!Emit(step, buffer)) return;
  }
  SendResponse(buffer.Data(), true);
}

bool Session::Emit(const Step& step, ByteWriter& buffer) {
  switch (step.kind) {
    case Step::Kind::Tokens:
      buffer.Append(step.bytes);
      return Flush(buffer);
    case Step::Kind::Done:
      WriteDone(buffer, step.token, step.status, step.curCmd, step.count, version_);
      return Flush(buffer);
    case Step::Kind::Delay:
      // What came before the delay reaches the client now, as a real server's would.
      if (!SendResponse(buffer.Data(), false)) return false;
      buffer.Clear();
      switch (Wait(step.delayMs)) {
        case WaitResult::Elapsed:
          return true;
        case WaitResult::Attention:
          EndCancelledResponse(buffer);
          return false;
        case WaitResult::Closed:
          closed_ = true;
          return false;
      }
      return false;
    case Step::Kind::Drop:
      SendResponse(buffer.Data(), false);
      DropByFault();
      return false;
    case Step::Kind::RowStream: {
      const std::vector<Column>& columns = step.rows->Columns();
      WriteColMetadata(buffer, columns, version_);
      std::vector<Value> values;
      const std::uint64_t count = step.rows->Size();
      for (std::uint64_t i = 0; i < count; ++i) {
        step.rows->Row(i, values);
        WriteRow(buffer, columns, values, version_);
        if (!Flush(buffer)) return false;
      }
      return true;
    }
    case Step::Kind::Results: {
      std::vector<ResultItem> items;
      std::vector<Step> sub;
      const std::uint64_t groups = step.results->Groups();
      for (std::uint64_t g = 0; g < groups; ++g) {
        items.clear();
        sub.clear();
        step.results->Group(g, items);
        PlanResults(items, step.procedure, sub);
        // Every DONE carries DONE_MORE but the very last of the response.
        const bool lastGroup = g + 1 == groups;
        auto last = std::find_if(sub.rbegin(), sub.rend(),
                                 [](const Step& s) { return s.kind == Step::Kind::Done; });
        for (auto it = sub.rbegin(); it != sub.rend(); ++it) {
          if (it->kind != Step::Kind::Done) continue;
          if (it != last || !lastGroup || step.more) it->status |= kDoneMore;
        }
        for (const Step& s : sub) {
          if (!Emit(s, buffer)) return false;
        }
      }
      return true;
    }
  }
  return true;
}

bool Session::Flush(ByteWriter& buffer) {
  // Large enough that packets go out full and system calls stay few, small enough that the
  // simulator's memory does not grow with the response.
  static constexpr std::size_t kChunk = 64 * 1024;
  if (buffer.Size() < kChunk) return true;
  const std::size_t payload = packetSize_ - kPacketHeaderSize;
  // At least one byte stays behind, so that the end of the message is never an empty packet.
  const std::size_t whole = (buffer.Size() - 1) / payload * payload;
  const std::span<const std::uint8_t> data(buffer.Data());
  if (!SendResponse(data.first(whole), false)) return false;
  const Bytes rest(data.begin() + static_cast<std::ptrdiff_t>(whole), data.end());
  buffer.Clear();
  buffer.Append(rest);
  switch (Wait(0)) {
    case WaitResult::Elapsed:
      return true;
    case WaitResult::Attention:
      // The buffer ends where a token ends.
      EndCancelledResponse(buffer);
      return false;
    case WaitResult::Closed:
      closed_ = true;
      return false;
  }
  return false;
}

}  // namespace sqlsim
