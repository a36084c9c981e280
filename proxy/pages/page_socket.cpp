#include "proxy/pages/page_socket.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/websocket.hpp>

#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_channel.h"
#include "proxy/pages/page_protocol.h"
#include "proxy/pages/page_socket_accept.h"
#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Http {

namespace page_socket {

namespace websocket = beast::websocket;

namespace {

// The largest frame an agent sends: an answer with a big value.
constexpr std::size_t kMaxFrameBytes = 8u << 20;
// A socket that carries nothing for this long is pinged; one that does not
// answer within it again is closed.
constexpr std::chrono::seconds kIdlePing{30};

// What the socket's reading and writing halves share; touched only on the
// connection's executor.
struct SocketState {
  explicit SocketState(asio::any_io_executor executor) : signal(executor, asio::steady_timer::time_point::max()) {}

  // Cancelled to make the writer look again.
  asio::steady_timer signal;
  bool closed = false;
  std::string token;  // what the upgrade presented
  std::string page;   // empty until the agent's first frame
  // Commands to write, each with the page it is for.
  std::deque<std::pair<std::string, std::string>> pending;

  void wake() { signal.cancel(); }
};

// The socket as the registry's sink for one page (a document restored from
// the back/forward cache gets a new one): commands cross to the
// connection's executor and queue there for the writer.
class SocketSink final : public PageSink {
 public:
  SocketSink(std::weak_ptr<SocketState> state, asio::any_io_executor executor, std::string page)
      : state_(std::move(state)), executor_(std::move(executor)), page_(std::move(page)) {}

  void send(std::string command) override {
    asio::post(executor_, [state = state_, page = page_, command = std::move(command)]() mutable {
      if (auto s = state.lock()) {
        s->pending.emplace_back(std::move(page), std::move(command));
        s->wake();
      }
    });
  }
  bool lasting() const override { return true; }
  void end() override {}

 private:
  const std::weak_ptr<SocketState> state_;
  const asio::any_io_executor executor_;
  const std::string page_;
};

// Closes the socket if it is still open; its failures are ignored.
asio::awaitable<void> close_socket(Socket& socket) {
  if (!socket.is_open()) co_return;
  auto [ec] = co_await socket.async_close(websocket::close_code::normal, kTuple);
  (void)ec;
}

// The page of the socket is `page` from now on: a new page id on it (a
// document restored from the back/forward cache) replaces the old one.
void switch_page(const std::shared_ptr<SocketState>& state, const std::string& page, PageRegistry& pages) {
  if (!state->page.empty()) pages.gone(state->page);
  state->page = page;
  pages.attach(page, std::make_shared<SocketSink>(state, state->signal.get_executor(), page));
}

// Writes the commands as the sink queues them.
asio::awaitable<void> write_commands(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages) {
  while (!state->closed) {
    if (state->pending.empty()) {
      state->signal.expires_at(asio::steady_timer::time_point::max());
      co_await state->signal.async_wait(kTuple);
      continue;
    }
    auto [page, command] = std::move(state->pending.front());
    state->pending.pop_front();
    auto [ec, n] = co_await socket.async_write(asio::buffer(command), kTuple);
    if (ec) {
      // A command that could not be written is lost with its page, whose
      // browser dropped the connection.
      pages.vanished(page);
      state->closed = true;
      break;
    }
    pages.delivered(page);
  }
}

// Reads the agent's frames until the socket closes; the page is gone then.
// A document that unloads closes its socket with a close frame; a socket
// that ends without one (the connection dropped, or silent past its
// pings) belongs to a browser that went away, so nothing comes in the
// page's place. A frame past the size limit ends the socket too, but the
// browser is there and its agent opens a new one.
asio::awaitable<void> read_frames(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages,
                                  ProxyContext& context) {
  beast::flat_buffer frame;
  bool browser_there = false;
  for (;;) {
    frame.clear();
    auto [ec, n] = co_await socket.async_read(frame, kTuple);
    if (ec) {
      browser_there = ec == websocket::error::closed || ec == websocket::error::message_too_big;
      break;
    }
    const std::optional<AgentReport> report = read_report(beast::buffers_to_string(frame.data()));
    if (!report) {
      context.note("The page channel dropped a frame that is not an agent's report");
      continue;
    }
    // Counted as the run's activity too, frame by frame.
    if (!pages.report(*report, run_of_connection(beast::get_lowest_layer(socket).socket(), context), state->token)) {
      context.note("The page channel dropped a frame that names a page of another token");
      continue;
    }
    if (report->page != state->page) switch_page(state, report->page, pages);
  }
  state->closed = true;
  state->wake();
  if (state->page.empty()) co_return;
  if (browser_there)
    pages.gone(state->page);
  else
    pages.vanished(state->page);
}

}  // namespace

}  // namespace page_socket

bool is_socket_upgrade(const http::request<http::empty_body>& request) {
  return beast::websocket::is_upgrade(request);
}

asio::awaitable<void> serve_page_socket(AnyStream& client, const http::request<http::empty_body>& request,
                                        const std::string& token, ProxyContext& context) {
  using namespace asio::experimental::awaitable_operators;
  namespace websocket = beast::websocket;
  PageRegistry& pages = *context.settings.pages;
  page_socket::Socket socket(client);
  // The socket keeps its own time: none on the connection below it.
  beast::get_lowest_layer(client).expires_never();
  websocket::stream_base::timeout times = websocket::stream_base::timeout::suggested(beast::role_type::server);
  times.handshake_timeout = context.settings.read_timeout;
  times.idle_timeout = page_socket::kIdlePing;
  times.keep_alive_pings = true;
  socket.set_option(times);
  socket.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
    response.set(http::field::server, "QuorvaneProxy");
    response.set(http::field::sec_websocket_protocol, kSocketProtocol);
  }));
  socket.read_message_max(page_socket::kMaxFrameBytes);
  socket.text(true);
  if (co_await page_socket::accept_upgrade(socket, request)) co_return;
  auto state = std::make_shared<page_socket::SocketState>(client.get_executor());
  state->token = token;
  co_await (page_socket::read_frames(socket, state, pages, context) &&
            page_socket::write_commands(socket, state, pages));
  co_await page_socket::close_socket(socket);
}

}  // namespace Tavrin::Proxy::Http
