#include "proxy/http/proxy_server.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/executor_work_guard.hpp>

#include "platform/os_error.h"
#include "proxy/http/client_session.h"
#include "proxy/http/connection_limits.h"
#include "proxy/http/peer_owner.h"
#include "proxy/http/peer_process.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"
#include "proxy/network/run_network.h"

namespace Tavrin::Proxy::Http {

namespace {

using tcp = asio::ip::tcp;

// The peer's socket when it is of this process's user; std::nullopt (the
// connection is not served): another local user could otherwise read the
// pages of a run and drive them.
std::optional<PeerSocket> own_users_peer(const tcp::socket& socket, ProxyContext& context) {
  error_code ec;
  const tcp::endpoint local = socket.local_endpoint(ec);
  const tcp::endpoint peer = ec ? tcp::endpoint() : socket.remote_endpoint(ec);
  if (ec) return std::nullopt;
  const std::optional<PeerSocket> found = peer_socket(local, peer);
  if (found && found->owner == ::geteuid()) return found;
  context.note("A connection from " + peer.address().to_string() + ":" + std::to_string(peer.port()) +
               (found ? " of user " + std::to_string(found->owner) + ", not this proxy's," : " of an unknown user") +
               " is refused");
  return std::nullopt;
}

// `slot` holds the connection's place for as long as it is served.
asio::awaitable<void> serve_counted(tcp::socket socket, ProxyContext& context,
                                    [[maybe_unused]] ConnectionGate::Slot slot) {
  const std::optional<PeerSocket> peer = own_users_peer(socket, context);
  if (!peer) co_return;
  BrowserConnections::Scope scope(context.browser_connections, socket.native_handle(), peer->inode);
  co_await serve_connection(std::move(socket), context);
}

// Waits `time` on the acceptor's loop; false when the acceptor closed
// meanwhile.
asio::awaitable<bool> wait_a_little(tcp::acceptor& acceptor, std::chrono::milliseconds time) {
  asio::steady_timer timer(acceptor.get_executor(), time);
  co_await timer.async_wait(kTuple);
  co_return acceptor.is_open();
}

// Each accepted connection goes to the next of `loops`, and stays there:
// one thread per loop, so a connection's steps never change threads. At
// the cap no connection is taken (the kernel queues them); out of
// descriptors, accepting pauses.
asio::awaitable<void> accept_loop(tcp::acceptor& acceptor, ProxyContext& context,
                                  const std::vector<std::unique_ptr<asio::io_context>>& loops) {
  ConnectionGate& gate = *context.gate;
  std::size_t next = 0;
  bool told_full = false;
  bool told_short = false;
  for (;;) {
    if (gate.full()) {
      if (!told_full) {
        context.note("The proxy holds " + std::to_string(gate.cap()) +
                     " connections; new ones wait until others end");
        told_full = true;
      }
      if (!co_await wait_a_little(acceptor, std::chrono::milliseconds(10))) co_return;
      continue;
    }
    told_full = false;
    tcp::socket socket(*loops[next]);
    auto [ec] = co_await acceptor.async_accept(socket, kTuple);
    if (ec == asio::error::operation_aborted || !acceptor.is_open()) co_return;
    if (ec) {
      const bool shortage = is_descriptor_shortage(ec);
      if (shortage && !told_short) context.note("Accepting pauses: " + ec.message());
      told_short = told_short || shortage;
      // The state passes as connections end: wait a little, then go on.
      if (!co_await wait_a_little(acceptor, std::chrono::milliseconds(shortage ? 100 : 50))) co_return;
      continue;
    }
    told_short = false;
    next = (next + 1) % loops.size();
    auto executor = socket.get_executor();
    asio::co_spawn(executor, serve_counted(std::move(socket), context, ConnectionGate::Slot(gate)), asio::detached);
  }
}

void open_acceptor(tcp::acceptor& acceptor, const tcp::endpoint& endpoint) {
  acceptor.open(endpoint.protocol());
  acceptor.set_option(asio::socket_base::reuse_address(true));
  if (endpoint.protocol() == tcp::v6()) acceptor.set_option(asio::ip::v6_only(true));
  acceptor.bind(endpoint);
  acceptor.listen(asio::socket_base::max_listen_connections);
}

// A run's listener: it lives on the first loop, so that closing it is
// posted there; its connections are spread over the loops as the main
// port's are.
asio::awaitable<void> run_accept_loop(std::shared_ptr<tcp::acceptor> acceptor, ProxyContext& context,
                                      const std::vector<std::unique_ptr<asio::io_context>>& loops) {
  co_await accept_loop(*acceptor, context, loops);
}

}  // namespace

// One event loop per thread: a loop run by a single thread hands no work
// between threads, which costs more than the work itself for small answers.
struct ProxyServer::Threads {
  explicit Threads(unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      loops.push_back(std::make_unique<asio::io_context>(1));
      guards.push_back(asio::make_work_guard(*loops.back()));
    }
  }
  asio::io_context& io() { return *loops.front(); }
  std::vector<std::unique_ptr<asio::io_context>> loops;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards;
  std::vector<tcp::acceptor> acceptors;
  std::vector<std::thread> workers;
  bool ipv6 = false;  // the main port listens on ::1 too
  // The runs' listeners by port; with ProxyServer::runs_mutex_ held.
  std::map<std::uint16_t, std::vector<std::shared_ptr<tcp::acceptor>>> run_acceptors;

  void close_run_ports(const std::vector<std::uint16_t>& ports) {
    for (std::uint16_t port : ports) {
      auto it = run_acceptors.find(port);
      if (it == run_acceptors.end()) continue;
      for (const auto& acceptor : it->second) {
        asio::post(acceptor->get_executor(), [acceptor] {
          error_code ignored;
          acceptor->close(ignored);
        });
      }
      run_acceptors.erase(it);
    }
  }
};

namespace {

// Drops the idle runs now and then, so that their ports close.
asio::awaitable<void> sweep_idle_runs(asio::io_context& io, ProxyContext& context,
                                      std::mutex& mutex, ProxyServer::Threads& threads) {
  const auto every = std::clamp<std::chrono::milliseconds>(context.runs.limits().idle_limit / 4,
                                                           std::chrono::milliseconds(10), std::chrono::seconds(30));
  asio::steady_timer timer(io);
  for (;;) {
    timer.expires_after(every);
    auto [ec] = co_await timer.async_wait(kTuple);
    if (ec) co_return;
    std::lock_guard<std::mutex> lock(mutex);
    threads.close_run_ports(context.runs.drop_idle(RunTable::Clock::now()));
    if (context.settings.networks) context.settings.networks->drop_idle(context.runs.ids(), context.runs.limits().idle_limit);
  }
}

// Hands the memory of ended connections back to the system when it is due.
asio::awaitable<void> trim_freed_memory(asio::io_context& io, ConnectionGate& gate) {
  asio::steady_timer timer(io);
  for (;;) {
    timer.expires_after(std::chrono::seconds(1));
    auto [ec] = co_await timer.async_wait(kTuple);
    if (ec) co_return;
    gate.trim_if_due(ConnectionGate::Clock::now());
  }
}

}  // namespace

ProxyServer::ProxyServer(ProxySettings settings, std::shared_ptr<ProxyState> state)
    : context_(std::make_unique<ProxyContext>(std::move(settings), std::move(state))) {}

ProxyServer::~ProxyServer() { stop(); }

void ProxyServer::start(unsigned threads) {
  try {
    start_serving(threads);
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> lock(runs_mutex_);
    start_failure_ = e.what();
    throw;
  }
}

void ProxyServer::start_serving(unsigned threads) {
  if (threads_) return;
  configure_upstream_tls(context_->upstream_tls, context_->settings.upstream_ca_file.string());
  if (context_->settings.intercept_https && !context_->authority) {
    context_->authority = std::make_unique<CertificateAuthority>(context_->settings.authority_folder,
                                                                 context_->settings.leaf_cache_size);
  }
  if (!context_->gate) {
    const std::uint64_t descriptors = raise_descriptor_limit();
    context_->gate = std::make_unique<ConnectionGate>(connection_cap(context_->settings.max_connections, descriptors));
  }
  if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency());
  auto running = std::make_unique<Threads>(threads);
  try {
    tcp::acceptor v4(running->io());
    open_acceptor(v4, tcp::endpoint(asio::ip::address_v4::loopback(), context_->settings.port));
    context_->port = v4.local_endpoint().port();
    running->acceptors.push_back(std::move(v4));
  } catch (const boost::system::system_error& e) {
    throw Platform::posix_error("Unable to listen on 127.0.0.1:" + std::to_string(context_->settings.port),
                                e.code().value());
  }
  if (context_->settings.listen_ipv6) {
    try {
      tcp::acceptor v6(running->io());
      open_acceptor(v6, tcp::endpoint(asio::ip::address_v6::loopback(), context_->port));
      running->acceptors.push_back(std::move(v6));
      running->ipv6 = true;
    } catch (const boost::system::system_error& e) {
      context_->note("Not listening on [::1]:" + std::to_string(context_->port) + ": " + e.what());
    }
  }
  for (tcp::acceptor& acceptor : running->acceptors) {
    asio::co_spawn(running->io(), accept_loop(acceptor, *context_, running->loops), asio::detached);
  }
  asio::co_spawn(running->io(), sweep_idle_runs(running->io(), *context_, runs_mutex_, *running), asio::detached);
  asio::co_spawn(running->io(), trim_freed_memory(running->io(), *context_->gate), asio::detached);
  for (auto& loop : running->loops) {
    running->workers.emplace_back([io = loop.get()] { io->run(); });
  }
  threads_ = std::move(running);
}

void ProxyServer::stop() {
  if (!threads_) return;
  for (auto& loop : threads_->loops) loop->stop();
  for (std::thread& worker : threads_->workers) worker.join();
  std::lock_guard<std::mutex> lock(runs_mutex_);
  context_->runs.drop_all();
  threads_.reset();
}

std::uint16_t ProxyServer::open_run_port(const std::string& run) {
  std::lock_guard<std::mutex> lock(runs_mutex_);
  if (!threads_) {
    throw std::runtime_error("the proxy does not serve HTTP" +
                             (start_failure_.empty() ? std::string() : " (" + start_failure_ + ")"));
  }
  RunTable& runs = context_->runs;
  const auto now = RunTable::Clock::now();
  if (auto port = runs.port_of(run, now)) return *port;
  threads_->close_run_ports(runs.drop_idle(now));
  if (runs.full())
    throw std::runtime_error("the proxy serves " + std::to_string(runs.limits().max_runs) + " runs at once already");
  std::vector<std::shared_ptr<tcp::acceptor>> acceptors;
  std::uint16_t port = 0;
  try {
    auto v4 = std::make_shared<tcp::acceptor>(threads_->io());
    open_acceptor(*v4, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    port = v4->local_endpoint().port();
    acceptors.push_back(std::move(v4));
  } catch (const boost::system::system_error& e) {
    throw std::runtime_error(std::string("unable to listen on 127.0.0.1: ") + e.what());
  }
  if (threads_->ipv6) {
    try {
      auto v6 = std::make_shared<tcp::acceptor>(threads_->io());
      open_acceptor(*v6, tcp::endpoint(asio::ip::address_v6::loopback(), port));
      acceptors.push_back(std::move(v6));
    } catch (const boost::system::system_error& e) {
      context_->note("Not listening on [::1]:" + std::to_string(port) + " for a run: " + e.what());
    }
  }
  runs.add(run, port, now);
  if (context_->settings.networks) context_->settings.networks->of(run);
  for (const auto& acceptor : acceptors)
    asio::co_spawn(acceptor->get_executor(), run_accept_loop(acceptor, *context_, threads_->loops), asio::detached);
  threads_->run_acceptors[port] = std::move(acceptors);
  return port;
}

void ProxyServer::add_run_browser(const std::string& run, int pid) {
  const std::optional<ProcessIdentity> process = process_identity(pid);
  if (!process) throw std::runtime_error("there is no process " + std::to_string(pid));
  if (!context_->runs.add_browser(run, RunBrowser{process->pid, process->start_time}, RunTable::Clock::now()))
    throw std::runtime_error("the run " + run + " has no port of its own");
}

std::uint16_t ProxyServer::port() const { return context_->port; }

}  // namespace Tavrin::Proxy::Http
