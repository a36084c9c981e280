#include "proxy/http/proxy_server.h"

#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include "platform/os_error.h"
#include "proxy/http/client_session.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

namespace {

using tcp = asio::ip::tcp;

asio::awaitable<void> accept_loop(tcp::acceptor& acceptor, ProxyContext& context) {
  for (;;) {
    tcp::socket socket(asio::make_strand(acceptor.get_executor()));
    auto [ec] = co_await acceptor.async_accept(socket, kTuple);
    if (ec == asio::error::operation_aborted || !acceptor.is_open()) co_return;
    if (ec) {
      // Out of descriptors and the like: wait a little, then go on.
      asio::steady_timer pause(acceptor.get_executor(), std::chrono::milliseconds(50));
      co_await pause.async_wait(kTuple);
      continue;
    }
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

struct ProxyServer::Threads {
  asio::io_context io;
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
  auto running = std::make_unique<Threads>();
  try {
    tcp::acceptor v4(running->io);
    open_acceptor(v4, tcp::endpoint(asio::ip::address_v4::loopback(), context_->settings.port));
    context_->port = v4.local_endpoint().port();
    running->acceptors.push_back(std::move(v4));
  } catch (const boost::system::system_error& e) {
    throw Platform::posix_error("Unable to listen on 127.0.0.1:" + std::to_string(context_->settings.port),
                                e.code().value());
  }
  if (context_->settings.listen_ipv6) {
    try {
      tcp::acceptor v6(running->io);
      open_acceptor(v6, tcp::endpoint(asio::ip::address_v6::loopback(), context_->port));
      running->acceptors.push_back(std::move(v6));
    } catch (const boost::system::system_error& e) {
      context_->note("Not listening on [::1]:" + std::to_string(context_->port) + ": " + e.what());
    }
  }
  for (tcp::acceptor& acceptor : running->acceptors) {
    asio::co_spawn(running->io, accept_loop(acceptor, *context_), asio::detached);
  }
  if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < threads; ++i) {
    running->workers.emplace_back([io = &running->io] { io->run(); });
  }
  threads_ = std::move(running);
}

void ProxyServer::stop() {
  if (!threads_) return;
  threads_->io.stop();
  for (std::thread& worker : threads_->workers) worker.join();
  threads_.reset();
}

std::uint16_t ProxyServer::port() const { return context_->port; }

}  // namespace Tavrin::Proxy::Http
