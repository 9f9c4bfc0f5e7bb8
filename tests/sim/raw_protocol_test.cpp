// The simulator's side of the protocol, checked below any driver: packet sizes, DONE flags,
// attention handling, down-level widths, refused logins.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/server.h"
#include "sqlserver_sim/text.h"
#include "sqlserver_sim/tokens.h"
#include "tds_test_util.h"

namespace sqlsim {
namespace {

using testing::RawClient;
using testing::SqlBatch;

const char* const kScenario = R"J({
  "logins": [{"name": "sa", "password": "secret"}],
  "batches": [
    {"sql": "counts", "results": [{"count": 1}, {"count": 2}, {"count": 3}]},
    {"sql": "slow", "results": [{"count": 1}, {"delay_ms": 10000}, {"count": 2}]},
    {"sql": "empty", "results": []},
    {"sql": "info last", "results": [{"count": 1}, {"info": {"number": 1, "text": "i"}}]},
    {"sql": "big", "results": [{"rows": {"columns": [{"name": "t", "type": "nvarchar(max)"}],
                                         "data": [["BIG"]]}}]}
  ]
})J";

struct Token {
  std::uint8_t type = 0;
  std::uint16_t status = 0;  // DONE tokens
  std::uint64_t count = 0;   // DONE tokens
  Bytes body;                // length-prefixed tokens
};

// Splits a response made of DONE, RETURNSTATUS and length-prefixed tokens.
std::vector<Token> Tokens(const Bytes& message, Tds version = Tds::V74) {
  ByteReader r(message);
  std::vector<Token> out;
  while (!r.AtEnd()) {
    Token t;
    t.type = r.U8();
    if (t.type == kTokenDone || t.type == kTokenDoneProc || t.type == kTokenDoneInProc) {
      t.status = r.U16();
      r.U16();
      t.count = version >= Tds::V72 ? r.U64() : r.U32();
    } else if (t.type == kTokenReturnStatus) {
      r.U32();
    } else if (t.type == kTokenError || t.type == kTokenInfo || t.type == kTokenEnvChange ||
               t.type == kTokenLoginAck) {
      auto body = r.Take(r.U16());
      t.body.assign(body.begin(), body.end());
    } else {
      throw std::runtime_error("unexpected token " + std::to_string(t.type));
    }
    out.push_back(std::move(t));
  }
  return out;
}

class RawProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string scenario = kScenario;
    // "big" gets a value far larger than one packet.
    const std::string big(20000, 'x');
    scenario.replace(scenario.find("BIG"), 3, big);
    server_ = std::make_unique<Server>(scenario);
    server_->Start();
  }
  std::unique_ptr<Server> server_;
};

TEST_F(RawProtocolTest, NegotiatedPacketSizeAppliesBothWays) {
  RawClient client(server_->Port());
  const Bytes login = client.Login("sa", "secret", 0x74000004, 512);
  bool sawPacketSize = false;
  for (const Token& t : Tokens(login)) {
    if (t.type != kTokenEnvChange || t.body.at(0) != 4) continue;
    ByteReader r(t.body);
    r.U8();
    EXPECT_EQ(Utf16ToUtf8(r.Utf16(r.U8())), "512");
    sawPacketSize = true;
  }
  EXPECT_TRUE(sawPacketSize);

  // A batch in 512-byte packets; trailing blanks do not stop it matching "big".
  client.received.clear();
  client.Send(kSqlBatch, SqlBatch("big" + std::string(3000, ' ')), 512);
  const Bytes response = client.Receive();
  ASSERT_GT(client.received.size(), 40u);  // 40 000 bytes of text in 504-byte pieces
  for (std::size_t i = 0; i < client.received.size(); ++i) {
    const PacketHeader& h = client.received[i];
    EXPECT_LE(h.length, 512);
    EXPECT_EQ(h.type, kTabularResult);
    EXPECT_EQ(h.packetId, static_cast<std::uint8_t>(i + 1));
    const bool last = i + 1 == client.received.size();
    EXPECT_EQ(h.status, last ? kEndOfMessage : 0) << i;
    if (!last) {
      EXPECT_EQ(h.length, 512);
    }
  }
  ASSERT_GE(response.size(), 13u);
  const Bytes done(response.end() - 13, response.end());
  EXPECT_EQ(done, (Bytes{0xFD, 0x10, 0, 0xC1, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(server_->Batches().size(), 1u);
  EXPECT_EQ(server_->Batches()[0].size(), 3003u);
}

TEST_F(RawProtocolTest, EveryDoneButTheLastCarriesMore) {
  RawClient client(server_->Port());
  client.Login("sa", "secret");
  client.Send(kSqlBatch, SqlBatch("counts"));
  const auto tokens = Tokens(client.Receive());
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].status, kDoneMore | kDoneCount);
  EXPECT_EQ(tokens[1].status, kDoneMore | kDoneCount);
  EXPECT_EQ(tokens[2].status, kDoneCount);
  EXPECT_EQ(tokens[2].count, 3u);

  client.Send(kSqlBatch, SqlBatch("empty"));
  const auto empty = Tokens(client.Receive());
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].type, kTokenDone);
  EXPECT_EQ(empty[0].status, kDoneFinal);

  // An info message last still ends with a DONE, and the DONE before it now has MORE.
  client.Send(kSqlBatch, SqlBatch("info last"));
  const auto info = Tokens(client.Receive());
  ASSERT_EQ(info.size(), 3u);
  EXPECT_EQ(info[0].status, kDoneMore | kDoneCount);
  EXPECT_EQ(info[1].type, kTokenInfo);
  EXPECT_EQ(info[2].status, kDoneFinal);

  client.Send(kSqlBatch, SqlBatch("exec nothing_here"));
  const auto unknown = Tokens(client.Receive());
  ASSERT_EQ(unknown.size(), 2u);
  EXPECT_EQ(unknown[0].type, kTokenError);
  EXPECT_EQ(unknown[1].status, kDoneError);
}

TEST_F(RawProtocolTest, AttentionDuringADelayEndsTheResponseThenAcknowledges) {
  RawClient client(server_->Port());
  client.Login("sa", "secret");
  client.received.clear();
  client.Send(kSqlBatch, SqlBatch("slow"));
  // What precedes the delay arrives first, in a packet without EOM.
  const Bytes first = client.ReceivePacket();
  EXPECT_EQ(client.received.back().status, 0);
  const auto before = Tokens(first);
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].status, kDoneMore | kDoneCount);

  const auto start = std::chrono::steady_clock::now();
  client.Send(kAttention, {});
  // The response ends at once, and the acknowledgement comes in a message of its own, as
  // SQL Server sends it (tedious waits for that second message).
  const auto rest = Tokens(client.Receive());
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].status, kDoneFinal);
  const auto ack = Tokens(client.Receive());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ASSERT_EQ(ack.size(), 1u);
  EXPECT_EQ(ack[0].status, kDoneAttention);

  // The connection goes on normally.
  client.Send(kSqlBatch, SqlBatch("counts"));
  EXPECT_EQ(Tokens(client.Receive()).size(), 3u);
}

TEST_F(RawProtocolTest, AttentionWhenIdleIsAcknowledged) {
  RawClient client(server_->Port());
  client.Login("sa", "secret");
  client.Send(kAttention, {});
  const auto tokens = Tokens(client.Receive());
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(tokens[0].status, kDoneAttention);
}

TEST_F(RawProtocolTest, Tds71GetsItsOwnWidths) {
  RawClient client(server_->Port());
  const auto login = Tokens(client.Login("sa", "secret", 0x71000001), Tds::V71);
  bool sawAck = false;
  for (const Token& t : login) {
    if (t.type != kTokenLoginAck) continue;
    EXPECT_EQ(Bytes(t.body.begin() + 1, t.body.begin() + 5), (Bytes{0x71, 0, 0, 1}));
    sawAck = true;
  }
  EXPECT_TRUE(sawAck);
  // 7.1 batches have no ALL_HEADERS.
  ByteWriter batch;
  batch.Utf16(u"counts");
  client.Send(kSqlBatch, batch.Take());
  const Bytes response = client.Receive();
  EXPECT_EQ(response.size(), 3u * 9u);  // DONE with a 4-byte count
  const auto tokens = Tokens(response, Tds::V71);
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[1].count, 2u);
}

TEST_F(RawProtocolTest, FailedLoginIsAnErrorThenTheConnectionCloses) {
  RawClient client(server_->Port());
  const auto tokens = Tokens(client.Login("sa", "Secret"));
  ASSERT_EQ(tokens.size(), 2u);
  ASSERT_EQ(tokens[0].type, kTokenError);
  ByteReader r(tokens[0].body);
  EXPECT_EQ(r.I32(), 18456);
  EXPECT_EQ(r.U8(), 1);   // state
  EXPECT_EQ(r.U8(), 14);  // class
  EXPECT_EQ(Utf16ToUtf8(r.Utf16(r.U16())), "Login failed for user 'sa'.");
  EXPECT_EQ(tokens[1].status, kDoneError);
  EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(RawProtocolTest, AnIgnoredMessageIsNotAnswered) {
  RawClient client(server_->Port());
  client.Login("sa", "secret");
  // Half a batch, then the client gives up on it.
  ByteWriter partial;
  EncodePacketHeader(partial, PacketHeader{kSqlBatch, 0, 20, 0, 1, 0});
  partial.Append(Bytes(12, 0));
  EncodePacketHeader(partial, PacketHeader{kSqlBatch, kEndOfMessage | kIgnoreMessage, 8, 0, 2, 0});
  client.SendRaw(partial.Take());
  client.Send(kSqlBatch, SqlBatch("counts"));
  EXPECT_EQ(Tokens(client.Receive()).size(), 3u);
  EXPECT_EQ(server_->Batches(), std::vector<std::string>{"counts"});
}

TEST_F(RawProtocolTest, GarbageClosesOnlyThatConnection) {
  RawClient bad(server_->Port());
  bad.SendRaw(Bytes{0x12, 0x01, 0x00, 0x04, 0, 0, 0, 0});  // length shorter than a header
  EXPECT_TRUE(bad.ClosedByServer());
  RawClient good(server_->Port());
  good.Login("sa", "secret");
  good.Send(kSqlBatch, SqlBatch("counts"));
  EXPECT_EQ(Tokens(good.Receive()).size(), 3u);
}

}  // namespace
}  // namespace sqlsim
