#include "proxy/pages/page_socket_accept.h"

#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http::page_socket {

asio::awaitable<error_code> accept_upgrade(Socket& socket, const http::request<http::empty_body>& request) {
  auto [ec] = co_await socket.async_accept(request, kTuple);
  co_return ec;
}

}  // namespace Tavrin::Proxy::Http::page_socket
