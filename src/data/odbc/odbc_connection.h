#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/connection.h"

namespace quorvane::data {

namespace odbc {
struct Session;
struct CancelSlot;
}  // namespace odbc

// The database interface over ODBC: unixODBC with the FreeTDS driver, or the system's driver
// manager on Windows. Uses the wide API throughout, so text arrives as UTF-16 whatever client
// character set the connection string asks for, and leaves as UTF-8.
//
//   OdbcConnection connection;
//   connection.SetConnectionString("Driver=FreeTDS;Server=host;Port=1433;TDS_Version=7.4;...");
//   connection.SetConnectionTimeout(15);
//   connection.Open();
//   auto results = connection.Execute("select name from sys.databases", 15);
//   while (auto result = results->Next()) { ... }
//
// One batch runs at a time: executing a new batch discards what an earlier stream still had
// pending (the server serves one request per connection). Not thread-safe, but for Cancel.
class OdbcConnection : public Connection {
 public:
  OdbcConnection();
  ~OdbcConnection() override;

  bool Connected() const override;
  void Close() override;
  std::unique_ptr<ResultStream> Execute(const std::string& batch, int timeoutSeconds) override;
  void Cancel() override;

 protected:
  void Connect() override;

 private:
  std::shared_ptr<odbc::Session> session_;
  std::shared_ptr<odbc::CancelSlot> cancel_;
};

// The names of the ODBC drivers the driver manager knows (SQLDrivers), in its order.
std::vector<std::string> InstalledOdbcDrivers();

}  // namespace quorvane::data
