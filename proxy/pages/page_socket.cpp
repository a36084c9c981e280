// The page socket's life: the upgrade test, the socket's options, its
// reading and writing halves side by side, its close, and the sink through
// which the registry reaches a socket's page.
#include "proxy/pages/page_socket.h"

#include <memory>
#include <string>
#include <utility>

#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "proxy/http/proxy_context.h"
#include "proxy/pages/page_channel.h"
#include "proxy/pages/page_socket_steps.h"

namespace Tavrin::Proxy::Http {

namespace page_socket {

namespace {

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

}  // namespace

void switch_page(const std::shared_ptr<SocketState>& state, const std::string& page, PageRegistry& pages) {
  if (!state->page.empty()) pages.gone(state->page);
  state->page = page;
  pages.attach(page, std::make_shared<SocketSink>(state, state->signal.get_executor(), page));
}

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
