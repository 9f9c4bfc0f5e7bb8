// The ODBC layer against the real driver manager and FreeTDS driver, without any server: what
// the user sees when the connection cannot be made.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "data/database_error.h"
#include "data/odbc/odbc_connection.h"

namespace quorvane::data {
namespace {

// A loopback socket that listens but never answers, so a login waits for its timeout.
class SilentListener {
 public:
  SilentListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd_, 4), 0);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

std::string FreeTdsString(int port) {
  return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port) +
         ";TDS_Version=7.4;UID=sa;PWD=secret;ClientCharset=UTF-8;Encryption=off";
}

TEST(OdbcDriver, FreeTdsIsRegisteredWithTheDriverManager) {
  const std::vector<std::string> drivers = InstalledOdbcDrivers();
  EXPECT_NE(std::find(drivers.begin(), drivers.end(), "FreeTDS"), drivers.end())
      << "register it with: odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini";
}

TEST(OdbcDriver, UnknownDriverFailsWithTheDriverManagersMessage) {
  OdbcConnection connection;
  connection.SetConnectionString("Driver={No Such Driver 42};Server=127.0.0.1");
  try {
    connection.Open();
    FAIL() << "connected without a driver";
  } catch (const DatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("No Such Driver 42"), std::string::npos) << message;
    EXPECT_NE(message.front(), '[') << message;
  }
  EXPECT_FALSE(connection.Connected());
}

TEST(OdbcDriver, UnreachableServerFailsAndStaysDisconnected) {
  SilentListener listener;
  const int port = listener.Port();
  listener.Close();  // nothing listens there any more
  OdbcConnection connection;
  connection.SetConnectionString(FreeTdsString(port));
  connection.SetConnectionTimeout(5);
  try {
    connection.Open();
    FAIL() << "connected to a closed port";
  } catch (const DatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("Unable to connect"), std::string::npos) << message;
    EXPECT_EQ(message.find("[FreeTDS]"), std::string::npos) << message;
    EXPECT_EQ(message.find("was lost"), std::string::npos) << message;
  }
  EXPECT_FALSE(connection.Connected());
}

TEST(OdbcDriver, SilentServerEndsAtTheLoginTimeout) {
  SilentListener listener;
  OdbcConnection connection;
  connection.SetConnectionString(FreeTdsString(listener.Port()));
  connection.SetConnectionTimeout(1);
  const auto start = std::chrono::steady_clock::now();
  try {
    connection.Open();
    FAIL() << "a server that never answers accepted the login";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.state(), "HYT00");
    EXPECT_EQ(std::string(e.what()).rfind("Login timeout expired after 1 second", 0), 0u)
        << e.what();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(10));
  EXPECT_FALSE(connection.Connected());
}

TEST(OdbcDriver, ExecuteWithoutAConnectionFails) {
  OdbcConnection connection;
  EXPECT_FALSE(connection.Connected());
  EXPECT_THROW(connection.Execute("select 1", 15), DatabaseError);
  connection.Close();  // closing twice is harmless
  EXPECT_FALSE(connection.Connected());
}

}  // namespace
}  // namespace quorvane::data
