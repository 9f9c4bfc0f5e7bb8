#include "sqlserver_sim/server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/session.h"

namespace quorvane::resources {
std::string_view SimDemoScenario();
}

namespace sqlsim {
namespace {

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

struct Server::Impl {
  struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  explicit Impl(Scenario s) : scenario(std::move(s)) {}

  void AcceptLoop();
  void Serve(Connection& connection, std::uint16_t spid);
  void Record(const std::string& batch);
  void ReapFinished();

  const Scenario scenario;
  ServerFaultState faults;

  mutable std::mutex logMutex;
  std::vector<std::string> batches;
  std::function<void(const std::string&)> callback;
  std::mutex callbackMutex;  // one callback at a time, whichever connection calls it

  std::mutex lifecycleMutex;
  bool started = false;
  bool stopped = false;
  int listenFd = -1;
  int wakePipe[2] = {-1, -1};  // the read end turns readable when Stop() begins
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
  try {
    Session session(scenario, faults, connection.fd, wakePipe[0], spid, std::move(hooks));
    session.Run();
  } catch (const std::exception& e) {
    // A client the simulator cannot follow: say why, then hang up as SQL Server would.
    std::cerr << "sqlserver-sim: connection " << spid << ": " << e.what() << std::endl;
  }
  ::shutdown(connection.fd, SHUT_RDWR);
  connection.finished = true;
}

void Server::Impl::ReapFinished() {
  std::lock_guard lock(connectionsMutex);
  for (auto it = connections.begin(); it != connections.end();) {
    if (it->finished) {
      it->thread.join();
      ::close(it->fd);
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::Impl::AcceptLoop() {
  while (true) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    if (::poll(fds, 2, 1000) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    ReapFinished();
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(connectionsMutex);
    Connection& c = connections.emplace_back();
    c.fd = fd;
    const std::uint16_t spid = nextSpid++;
    c.thread = std::thread([this, &c, spid] { Serve(c, spid); });
  }
}

Server::Server(const std::string& scenarioJson)
    : impl_(std::make_unique<Impl>(ParseScenario(scenarioJson))) {}

Server::~Server() {
  Stop();
}

void Server::Start(const std::string& host, int port) {
  std::lock_guard lock(impl_->lifecycleMutex);
  if (impl_->started) throw std::logic_error("sqlsim::Server::Start called twice");
  if (port < 0 || port > 65535) throw std::invalid_argument("port out of range");

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
  int fd = -1;
  std::string failure;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      failure = Errno("socket");
      continue;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 64) == 0) break;
    failure = Errno("cannot listen on " + host + ":" + service);
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  if (fd < 0) throw std::runtime_error(failure);

  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  impl_->port = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (::pipe2(impl_->wakePipe, O_CLOEXEC) != 0) {
    ::close(fd);
    throw std::runtime_error(Errno("pipe"));
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
  const char wake = 'x';
  while (::write(impl_->wakePipe[1], &wake, 1) < 0 && errno == EINTR) {
  }
  impl_->acceptThread.join();
  {
    std::lock_guard connections(impl_->connectionsMutex);
    // Unblocks sessions stuck sending to a client that stopped reading.
    for (auto& c : impl_->connections) ::shutdown(c.fd, SHUT_RDWR);
  }
  for (auto& c : impl_->connections) {
    c.thread.join();
    ::close(c.fd);
  }
  impl_->connections.clear();
  ::close(impl_->listenFd);
  ::close(impl_->wakePipe[0]);
  ::close(impl_->wakePipe[1]);
  impl_->listenFd = -1;
}

void Server::OnBatch(std::function<void(const std::string& batch)> callback) {
  std::lock_guard lock(impl_->logMutex);
  impl_->callback = std::move(callback);
}

std::vector<std::string> Server::Batches() const {
  std::lock_guard lock(impl_->logMutex);
  return impl_->batches;
}

std::string DemoScenario() {
  return std::string(quorvane::resources::SimDemoScenario());
}

}  // namespace sqlsim
