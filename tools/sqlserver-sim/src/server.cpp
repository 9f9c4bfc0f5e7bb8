#include "sqlserver_sim/server.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "net.h"
#include "sqlserver_sim/scale.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/session.h"

namespace quorvane::resources {
std::string_view SimDemoScenario();
}

namespace sqlsim {
namespace {

std::string Errno(const std::string& what) {
  return what + ": " + net::LastError();
}

}  // namespace

struct Server::Impl {
  struct Connection {
    SocketHandle fd = kNoSocket;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  explicit Impl(Scenario s) : scenario(std::move(s)) {
    if (scenario.encryption) {
      tls =
          std::make_unique<TlsContext>(scenario.encryption->certificate, scenario.encryption->key);
    }
  }

  void AcceptLoop();
  void Serve(Connection& connection, std::uint16_t spid);
  void Record(const std::string& batch);
  void ReapFinished();

  const Scenario scenario;
  std::unique_ptr<TlsContext> tls;  // the scenario's certificate, if it has one
  ServerFaultState faults;

  std::atomic<bool> recording{false};
  mutable std::mutex receivedMutex;
  std::string received;

  mutable std::mutex logMutex;
  std::vector<std::string> batches;
  std::function<void(const std::string&)> callback;
  std::mutex callbackMutex;  // one callback at a time, whichever connection calls it

  std::mutex lifecycleMutex;
  bool started = false;
  bool stopped = false;
  SocketHandle listenFd = kNoSocket;
  SocketHandle wakePipe[2] = {kNoSocket, kNoSocket};  // [0] turns readable when Stop() begins
  int port = 0;
  std::thread acceptThread;

  std::mutex connectionsMutex;
  std::list<Connection> connections;
  std::uint16_t nextSpid = 51;  // the first SPID SQL Server gives a user connection
};

void Server::Impl::Record(const std::string& batch) {
  std::function<void(const std::string&)> cb;
  {
    std::lock_guard lock(logMutex);
    batches.push_back(batch);
    cb = callback;
  }
  if (cb) {
    std::lock_guard lock(callbackMutex);
    cb(batch);
  }
}

void Server::Impl::Serve(Connection& connection, std::uint16_t spid) {
  Session::Hooks hooks;
  hooks.onBatch = [this](const std::string& batch) { Record(batch); };
  if (recording) {
    hooks.onReceived = [this](std::span<const std::uint8_t> bytes) {
      std::lock_guard lock(receivedMutex);
      received.append(bytes.begin(), bytes.end());
    };
  }
  try {
    Session session(scenario, faults, connection.fd, wakePipe[0], spid, std::move(hooks),
                    tls.get());
    session.Run();
  } catch (const std::exception& e) {
    // A client the simulator cannot follow: say why, then hang up as SQL Server would.
    std::cerr << "sqlserver-sim: connection " << spid << ": " << e.what() << std::endl;
  }
  net::Shutdown(connection.fd);
  connection.finished = true;
}

void Server::Impl::ReapFinished() {
  std::lock_guard lock(connectionsMutex);
  for (auto it = connections.begin(); it != connections.end();) {
    if (it->finished) {
      it->thread.join();
      net::CloseSocket(it->fd);
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::Impl::AcceptLoop() {
  while (true) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    if (net::Poll(fds, 2, 1000) < 0 && !net::ShouldRetry()) break;
    if (fds[1].revents != 0) break;
    ReapFinished();
    if ((fds[0].revents & POLLIN) == 0) continue;
    const SocketHandle fd = net::Accept(listenFd);
    if (fd == kNoSocket) continue;
    net::SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    std::lock_guard lock(connectionsMutex);
    Connection& c = connections.emplace_back();
    c.fd = fd;
    const std::uint16_t spid = nextSpid++;
    c.thread = std::thread([this, &c, spid] { Serve(c, spid); });
  }
}

Server::Server(const std::string& scenarioJson)
    : impl_(std::make_unique<Impl>(ParseScenario(scenarioJson))) {}

namespace {

Scenario Scaled(const std::string& scenarioJson, const ScaleSizes& sizes) {
  Scenario scenario = ParseScenario(scenarioJson);
  ApplyScale(scenario, sizes);
  return scenario;
}

}  // namespace

Server::Server(const std::string& scenarioJson, const ScaleSizes& sizes)
    : impl_(std::make_unique<Impl>(Scaled(scenarioJson, sizes))) {}

Server::~Server() {
  Stop();
}

void Server::Start(const std::string& host, int port) {
  std::lock_guard lock(impl_->lifecycleMutex);
  if (impl_->started) throw std::logic_error("sqlsim::Server::Start called twice");
  if (port < 0 || port > 65535) throw std::invalid_argument("port out of range");
  net::Initialize();

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc =
          ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
      rc != 0) {
    throw std::runtime_error("cannot resolve '" + host + "': " + ::gai_strerror(rc));
  }
  SocketHandle fd = kNoSocket;
  std::string failure;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    fd = net::OpenSocket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd == kNoSocket) {
      failure = Errno("socket");
      continue;
    }
#ifdef _WIN32
    // Winsock's SO_REUSEADDR would let another program take the port as well.
    net::SetOption(fd, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
#else
    net::SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
    if (::bind(fd, a->ai_addr, static_cast<socklen_t>(a->ai_addrlen)) == 0 &&
        ::listen(fd, 64) == 0) {
      break;
    }
    failure = Errno("cannot listen on " + host + ":" + service);
    net::CloseSocket(fd);
    fd = kNoSocket;
  }
  ::freeaddrinfo(found);
  if (fd == kNoSocket) throw std::runtime_error(failure);

  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  impl_->port = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  try {
    net::OpenWakePair(impl_->wakePipe);
  } catch (...) {
    net::CloseSocket(fd);
    throw;
  }
  impl_->listenFd = fd;
  impl_->started = true;
  impl_->acceptThread = std::thread([impl = impl_.get()] { impl->AcceptLoop(); });
}

int Server::Port() const {
  return impl_->port;
}

void Server::Stop() {
  std::lock_guard lock(impl_->lifecycleMutex);
  if (!impl_->started || impl_->stopped) return;
  impl_->stopped = true;
  net::Wake(impl_->wakePipe[1]);
  impl_->acceptThread.join();
  {
    std::lock_guard connections(impl_->connectionsMutex);
    // Unblocks sessions stuck sending to a client that stopped reading.
    for (auto& c : impl_->connections) net::Shutdown(c.fd);
  }
  for (auto& c : impl_->connections) {
    c.thread.join();
    net::CloseSocket(c.fd);
  }
  impl_->connections.clear();
  net::CloseSocket(impl_->listenFd);
  net::CloseSocket(impl_->wakePipe[0]);
  net::CloseSocket(impl_->wakePipe[1]);
  impl_->listenFd = kNoSocket;
}

void Server::OnBatch(std::function<void(const std::string& batch)> callback) {
  std::lock_guard lock(impl_->logMutex);
  impl_->callback = std::move(callback);
}

void Server::RecordReceivedBytes() {
  impl_->recording = true;
}

std::string Server::ReceivedBytes() const {
  std::lock_guard lock(impl_->receivedMutex);
  return impl_->received;
}

std::vector<std::string> Server::Batches() const {
  std::lock_guard lock(impl_->logMutex);
  return impl_->batches;
}

std::string DemoScenario() {
  return std::string(quorvane::resources::SimDemoScenario());
}

}  // namespace sqlsim
