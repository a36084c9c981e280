#include "proxy/http/page_socket.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include "proxy/http/page_channel.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"
#include "proxy/page_registry.h"

namespace Tavrin::Proxy::Http {

namespace websocket = beast::websocket;
using namespace asio::experimental::awaitable_operators;

namespace {

// The largest frame an agent sends: an answer with a big value.
constexpr std::size_t kMaxFrameBytes = 8u << 20;
// A socket that carries nothing for this long is pinged; one that does not
// answer within it again is closed.
constexpr std::chrono::seconds kIdlePing{30};

// What the socket's reading and writing halves share; touched only on the
// connection's strand.
struct SocketState {
  explicit SocketState(asio::any_io_executor executor) : signal(executor, asio::steady_timer::time_point::max()) {}

  // Cancelled to make the writer look again.
  asio::steady_timer signal;
  bool woken = false;
  bool closed = false;
  std::string page;                        // empty until the agent's first frame
  std::deque<std::string> pending;         // commands handed over by the reader

  void wake() {
    woken = true;
    signal.cancel();
  }
};

// Sends the page's commands as they come in. A live socket is a poll held
// for good: after each command the page is held again.
template <class Socket>
asio::awaitable<void> write_commands(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages) {
  const std::weak_ptr<SocketState> weak = state;
  const asio::any_io_executor executor = state->signal.get_executor();
  const PageRegistry::Wake wake = [weak, executor] {
    asio::post(executor, [weak] {
      if (auto s = weak.lock()) s->wake();
    });
  };
  for (;;) {
    if (state->closed) break;
    state->woken = false;
    std::optional<std::string> command;
    if (!state->pending.empty()) {
      command = std::move(state->pending.front());
      state->pending.pop_front();
    } else if (!state->page.empty()) {
      command = pages.release(state->page);
      // A command that comes in between is taken now; a page that is
      // leaving takes none and waits for the reader to tell of more.
      if (!command && !pages.hold(state->page, wake)) command = pages.release(state->page);
    }
    if (command) {
      const std::string page = state->page;
      auto [ec, n] = co_await socket.async_write(asio::buffer(*command), kTuple);
      if (ec) {
        // A command that could not be written is lost with its page.
        pages.gone(page);
        state->closed = true;
        break;
      }
      pages.delivered(page);
      continue;
    }
    if (state->woken) continue;
    state->signal.expires_at(asio::steady_timer::time_point::max());
    co_await state->signal.async_wait(kTuple);
  }
}

// Reads the agent's frames until the socket closes; the page is gone then.
template <class Socket>
asio::awaitable<void> read_frames(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages,
                                  ProxyContext& context) {
  beast::flat_buffer frame;
  for (;;) {
    frame.clear();
    auto [ec, n] = co_await socket.async_read(frame, kTuple);
    if (ec) break;
    std::optional<AgentPoll> poll = read_agent_message(beast::buffers_to_string(frame.data()));
    if (!poll) {
      context.note("The page channel dropped a frame that is not an agent's message");
      continue;
    }
    // Counted as the run's activity too, frame by frame.
    poll->run = run_of_connection(beast::get_lowest_layer(socket).socket(), context);
    if (poll->page != state->page) {
      // One document per socket; a new page id on it (a document restored
      // from the back/forward cache) replaces the old one.
      if (!state->page.empty()) {
        pages.release(state->page);
        pages.gone(state->page);
      }
      state->page = poll->page;
    }
    if (std::optional<std::string> command = pages.poll(*poll)) state->pending.push_back(std::move(*command));
    state->wake();
  }
  state->closed = true;
  state->signal.cancel();
  if (!state->page.empty()) {
    pages.release(state->page);
    pages.gone(state->page);
  }
}

}  // namespace

bool is_socket_upgrade(const http::request<http::empty_body>& request) { return websocket::is_upgrade(request); }

template <class Client>
asio::awaitable<void> serve_page_socket(Client& client, const http::request<http::empty_body>& request,
                                        ProxyContext& context) {
  PageRegistry& pages = *context.settings.pages;
  websocket::stream<Client&> socket(client);
  // The socket keeps its own time: none on the connection below it.
  beast::get_lowest_layer(client).expires_never();
  websocket::stream_base::timeout times = websocket::stream_base::timeout::suggested(beast::role_type::server);
  times.handshake_timeout = context.settings.read_timeout;
  times.idle_timeout = kIdlePing;
  times.keep_alive_pings = true;
  socket.set_option(times);
  socket.set_option(websocket::stream_base::decorator(
      [](websocket::response_type& response) { response.set(http::field::server, "QuorvaneProxy"); }));
  socket.read_message_max(kMaxFrameBytes);
  socket.text(true);
  auto [ec] = co_await socket.async_accept(request, kTuple);
  if (ec) co_return;
  auto state = std::make_shared<SocketState>(client.get_executor());
  co_await (read_frames(socket, state, pages, context) && write_commands(socket, state, pages));
  if (socket.is_open()) {
    auto [close_error] = co_await socket.async_close(websocket::close_code::normal, kTuple);
    (void)close_error;
  }
}

template asio::awaitable<void> serve_page_socket(beast::tcp_stream&, const http::request<http::empty_body>&,
                                                 ProxyContext&);
template asio::awaitable<void> serve_page_socket(Upstream::TlsStream&, const http::request<http::empty_body>&,
                                                 ProxyContext&);

}  // namespace Tavrin::Proxy::Http
