// The erased stream over TLS: the only file that compiles the reads,
// writes and WebSocket teardown (close_notify, then the TCP ending) of
// the TLS stream for the HTTP side.
#include "proxy/http/any_stream.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <boost/beast/websocket/teardown.hpp>

namespace Tavrin::Proxy::Http {

// Handlers bound to the stream's executor, as in any_stream_tcp.cpp.

AnyStreamOverTls::AnyStreamOverTls(Tls& stream) : AnyStream(stream.next_layer()), stream_(stream) {}

void AnyStreamOverTls::start_read(const MutableBuffers& buffers, IoHandler handler) {
  stream_.async_read_some(buffers, boost::asio::bind_executor(get_executor(), std::move(handler)));
}

void AnyStreamOverTls::start_write(const ConstBuffers& buffers, IoHandler handler) {
  stream_.async_write_some(buffers, boost::asio::bind_executor(get_executor(), std::move(handler)));
}

void AnyStreamOverTls::teardown_now(boost::beast::role_type role, boost::system::error_code& ec) {
  using boost::beast::websocket::teardown;
  teardown(role, stream_, ec);
}

void AnyStreamOverTls::start_teardown(boost::beast::role_type role, TeardownHandler handler) {
  using boost::beast::websocket::async_teardown;
  async_teardown(role, stream_, boost::asio::bind_executor(get_executor(), std::move(handler)));
}

}  // namespace Tavrin::Proxy::Http
