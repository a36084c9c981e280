// What page sockets share whatever their stream: the upgrade test and the
// sink through which the registry reaches a socket's page.
#include "proxy/pages/page_socket.h"

#include <memory>
#include <string>
#include <utility>

#include <boost/asio/post.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "proxy/pages/page_socket_impl.h"

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

}  // namespace Tavrin::Proxy::Http
