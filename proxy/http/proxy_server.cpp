#include "proxy/http/proxy_server.h"

#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/executor_work_guard.hpp>

#include "platform/os_error.h"
#include "proxy/http/client_session.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

namespace {

using tcp = asio::ip::tcp;

// Each accepted connection goes to the next of `loops`, and stays there:
// one thread per loop, so a connection's steps never change threads.
asio::awaitable<void> accept_loop(tcp::acceptor& acceptor, ProxyContext& context,
                                  const std::vector<std::unique_ptr<asio::io_context>>& loops) {
  std::size_t next = 0;
  for (;;) {
    tcp::socket socket(*loops[next]);
    auto [ec] = co_await acceptor.async_accept(socket, kTuple);
    if (ec == asio::error::operation_aborted || !acceptor.is_open()) co_return;
    if (ec) {
      // Out of descriptors and the like: wait a little, then go on.
      asio::steady_timer pause(acceptor.get_executor(), std::chrono::milliseconds(50));
      co_await pause.async_wait(kTuple);
      continue;
    }
    next = (next + 1) % loops.size();
    auto executor = socket.get_executor();
    asio::co_spawn(executor, serve_connection(std::move(socket), context), asio::detached);
  }
}

void open_acceptor(tcp::acceptor& acceptor, const tcp::endpoint& endpoint) {
  acceptor.open(endpoint.protocol());
  acceptor.set_option(asio::socket_base::reuse_address(true));
  if (endpoint.protocol() == tcp::v6()) acceptor.set_option(asio::ip::v6_only(true));
  acceptor.bind(endpoint);
  acceptor.listen(asio::socket_base::max_listen_connections);
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
};

ProxyServer::ProxyServer(ProxySettings settings, std::shared_ptr<ProxyState> state)
    : context_(std::make_unique<ProxyContext>(std::move(settings), std::move(state))) {}

ProxyServer::~ProxyServer() { stop(); }

void ProxyServer::start(unsigned threads) {
  if (threads_) return;
  configure_upstream_tls(context_->upstream_tls, context_->settings.upstream_ca_file.string());
  if (context_->settings.intercept_https && !context_->authority) {
    context_->authority = std::make_unique<CertificateAuthority>(context_->settings.authority_folder);
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
    } catch (const boost::system::system_error& e) {
      context_->note("Not listening on [::1]:" + std::to_string(context_->port) + ": " + e.what());
    }
  }
  for (tcp::acceptor& acceptor : running->acceptors) {
    asio::co_spawn(running->io(), accept_loop(acceptor, *context_, running->loops), asio::detached);
  }
  for (auto& loop : running->loops) {
    running->workers.emplace_back([io = loop.get()] { io->run(); });
  }
  threads_ = std::move(running);
}

void ProxyServer::stop() {
  if (!threads_) return;
  for (auto& loop : threads_->loops) loop->stop();
  for (std::thread& worker : threads_->workers) worker.join();
  threads_.reset();
}

std::uint16_t ProxyServer::port() const { return context_->port; }

}  // namespace Tavrin::Proxy::Http
