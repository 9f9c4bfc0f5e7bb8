#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/row_set.h"
#include "data/secure_wipe.h"

namespace quorvane::data {

// The results of one batch, in the order the server sends them. A backend reads each row set
// in full before handing it out.
class ResultStream {
 public:
  virtual ~ResultStream() = default;
  // The next result, or nothing when the batch has no more. Throws DatabaseError for a failing
  // statement; calling again afterwards goes on with the results that follow that statement.
  virtual std::optional<Result> Next() = 0;
};

// The server connection (the program's `SQLServer`). Backends implement Connect, Disconnect and
// Execute; the after-connect hook and the settings are common.
class Connection {
 public:
  virtual ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void SetConnectionString(std::string text) {
    SecureWipe(connectionString_);
    connectionString_ = std::move(text);
  }
  // The string may hold a password: it is kept no longer than the run that needs it.
  void ForgetConnectionString() { SecureWipe(connectionString_); }
  const std::string& ConnectionString() const { return connectionString_; }
  void SetConnectionTimeout(int seconds) { connectionTimeout_ = seconds; }
  int ConnectionTimeout() const { return connectionTimeout_; }
  void SetCommandTimeout(int seconds) { commandTimeout_ = seconds; }
  int CommandTimeout() const { return commandTimeout_; }

  // Connects, then runs `afterConnect` before returning. An error of either leaves this call;
  // the connection stays open if only the hook failed.
  void Open(const std::function<void()>& afterConnect = {}) {
    Connect();
    if (afterConnect) afterConnect();
  }

  // Connects again with the same connection string, after the link was lost.
  void Reconnect() {
    Close();
    Connect();
  }

  virtual bool Connected() const = 0;
  virtual void Close() = 0;

  // Sends one batch. Throws DatabaseError when the batch fails before its first result.
  virtual std::unique_ptr<ResultStream> Execute(const std::string& batch, int timeoutSeconds) = 0;

  // The one call meant for another thread: interrupts the running batch, and makes every later
  // one fail at once with kCancelledMessage until the next connect.
  virtual void Cancel() {}

 protected:
  Connection() = default;
  virtual void Connect() = 0;

 private:
  std::string connectionString_;
  int connectionTimeout_ = 15;
  int commandTimeout_ = 15;
};

}  // namespace quorvane::data
