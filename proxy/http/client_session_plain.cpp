// Client connections on plain TCP: where every connection starts.
#include "proxy/http/client_session_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<void> serve_requests(beast::tcp_stream&, beast::flat_buffer&, ProxyContext&,
                                              std::optional<Origin>);

asio::awaitable<void> serve_connection(asio::ip::tcp::socket socket, ProxyContext& context) {
  try {
    error_code ignored;
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    beast::tcp_stream client(std::move(socket));
    beast::flat_buffer buffer;
    buffer.reserve(kReadBufferBytes);
    co_await serve_requests(client, buffer, context, std::nullopt);
  } catch (const std::exception& e) {
    context.note(std::string("A connection ended on an error: ") + e.what());
  }
}

}  // namespace Tavrin::Proxy::Http
