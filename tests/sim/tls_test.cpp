// The simulator's TLS: how PRELOGIN negotiates encryption, and a server that requires it.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "sqlserver_sim/login.h"
#include "sqlserver_sim/packets.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/server.h"
#include "sqlserver_sim/tls.h"
#include "support/test_certificates.h"
#include "tds_test_util.h"

namespace sqlsim {
namespace {

const char* const kScenario = R"J({
  "logins": [{"name": "sa", "password": "secret"}],
  "batches": [{"sql": "select 42", "results": [{"rows": {"columns": [{"name": "n", "type": "int"}],
                                                         "data": [[42]]}}]}]
})J";

TEST(EncryptionNegotiation, AnswersAsSqlServerDoes) {
  const std::uint8_t clients[] = {kEncryptOff, kEncryptOn, kEncryptNotSupported, kEncryptRequired};
  struct Server {
    bool certificate;
    bool required;
    std::uint8_t answers[4];  // to each of `clients`
  };
  const Server servers[] = {
      {false,
       false,
       {kEncryptNotSupported, kEncryptNotSupported, kEncryptNotSupported, kEncryptNotSupported}},
      {true, false, {kEncryptOff, kEncryptOn, kEncryptNotSupported, kEncryptOn}},
      {true, true, {kEncryptRequired, kEncryptOn, kEncryptRequired, kEncryptOn}},
  };
  for (const Server& server : servers) {
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(NegotiateEncryption(clients[i], server.certificate, server.required),
                server.answers[i])
          << "client " << int{clients[i]} << ", certificate " << server.certificate << ", required "
          << server.required;
    }
  }
}

TEST(TlsServer, ScenarioNamesItsCertificateAndKey) {
  auto error = [](const std::string& encryption) {
    try {
      ParseScenario(R"({"encryption": )" + encryption + "}");
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(error(R"({"certificate": "c.pem"})").find("needs a \"certificate\" and a \"key\""),
            std::string::npos);
  EXPECT_NE(error(R"({"certificate": "c", "key": "k", "force": true})").find("unknown field"),
            std::string::npos);
  const Scenario parsed =
      ParseScenario(WithEncryption(R"({"server": {"name": "X"}})", {"/c.pem", "/k.pem", true}));
  ASSERT_TRUE(parsed.encryption);
  EXPECT_EQ(parsed.encryption->certificate, "/c.pem");
  EXPECT_TRUE(parsed.encryption->required);
  EXPECT_EQ(parsed.serverName, "X");
  // A certificate that cannot be loaded stops the server from being made, naming the file.
  try {
    Server server(WithEncryption(kScenario, {"/nonexistent/c.pem", "/nonexistent/k.pem", false}));
    ADD_FAILURE() << "a server without its certificate was made";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(TlsAvailable() ? "/nonexistent/c.pem" : "without OpenSSL"),
              std::string::npos)
        << e.what();
  }
}

// A server with Force Encryption serves FreeTDS set to "off" encrypted (FreeTDS starts TLS
// whenever the server answers anything but NOT_SUP), and does not serve a client that goes on
// in plain text after saying it cannot encrypt.
TEST(TlsServer, RequiresEncryptionFromAClientThatDidNotAskForIt) {
  if (!TlsAvailable()) GTEST_SKIP() << "built without OpenSSL";
  const auto* certificates = quorvane::testing::Certificates();
  if (!certificates) GTEST_SKIP() << "the openssl command could not make certificates";
  Server server(WithEncryption(
      kScenario, {certificates->selfSigned.certificate, certificates->selfSigned.key, true}));
  server.RecordReceivedBytes();
  server.Start();

  {
    testing::Connection odbc;
    ASSERT_TRUE(SQL_SUCCEEDED(odbc.Connect(testing::ConnectionString(server.Port()))))
        << testing::Describe(odbc.Diags());
    testing::Statement statement(odbc);
    ASSERT_TRUE(SQL_SUCCEEDED(statement.ExecDirect("select 42")));
    EXPECT_EQ(statement.FetchAll(), (testing::Rows{{"42"}}));
  }
  const Bytes password = EncodePassword("secret");
  const std::string wire = server.ReceivedBytes();
  EXPECT_EQ(wire.find(std::string(password.begin(), password.end())), std::string::npos);
  EXPECT_EQ(server.Batches(), std::vector<std::string>{"select 42"});

  testing::RawClient raw(server.Port());
  const Bytes cannot = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                        0x01, 0xFF, 9,    0,    0,    0,    0,    0,    kEncryptNotSupported};
  raw.Send(kPrelogin, cannot);
  EXPECT_EQ(ParsePrelogin(raw.Receive()).at(kPreloginEncryption), Bytes{kEncryptRequired});
  raw.Send(kLogin7, testing::BuildLogin7("sa", "secret", "master"));
  EXPECT_TRUE(raw.ClosedByServer());
}

}  // namespace
}  // namespace sqlsim
