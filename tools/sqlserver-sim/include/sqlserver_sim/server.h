#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A simulated Microsoft SQL Server: speaks TDS on a loopback port and answers batches from a
// scenario document. For tests and demonstrations only; it shares no code with the product.
namespace sqlsim {

struct ScaleSizes;

class Server {
 public:
  // `scenarioJson` is a scenario document (tools/sqlserver-sim/README.md). Throws
  // std::runtime_error with a clear message when it is not valid or its certificate cannot be
  // loaded.
  explicit Server(const std::string& scenarioJson);
  // The scenario with the answers named by `sizes` grown (sqlserver_sim/scale.h).
  Server(const std::string& scenarioJson, const ScaleSizes& sizes);
  ~Server();  // stops the server
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Listens on host:port (0 = any free port) and serves connections in the background.
  void Start(const std::string& host = "127.0.0.1", int port = 0);
  int Port() const;
  void Stop();

  // Called for every SQL batch (and the SQL text of an RPC) received, from the serving thread.
  void OnBatch(std::function<void(const std::string& batch)> callback);
  // Every batch received so far, in order.
  std::vector<std::string> Batches() const;

  // From the next connection on, keeps every byte read from clients' sockets as it came
  // (encrypted or not), to show what an eavesdropper would see.
  void RecordReceivedBytes();
  std::string ReceivedBytes() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The scenario of the built-in demo instance, compiled into the library, and its SQL login
// (it exists only inside the simulator).
std::string DemoScenario();
inline constexpr const char* kDemoLogin = "sa";
inline constexpr const char* kDemoPassword = "secret";

}  // namespace sqlsim
