// The erased stream over plain TCP: the only file that compiles the reads,
// writes and WebSocket teardown of beast::tcp_stream for the HTTP side.
#include "proxy/http/any_stream.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/beast/websocket/teardown.hpp>

namespace Tavrin::Proxy::Http {

// Every handler goes to the concrete stream bound to the stream's
// executor: Beast posts completions through the handler's own executor,
// which Asio 1.81 cannot do for an erased handler's (any_completion_executor
// lacks blocking.never). The connection's coroutines run on that executor
// anyway (one event loop per thread, the socket's own).

AnyStreamOverTcp::AnyStreamOverTcp(boost::beast::tcp_stream& stream) : AnyStream(stream), stream_(stream) {}

void AnyStreamOverTcp::start_read(const MutableBuffers& buffers, IoHandler handler) {
  stream_.async_read_some(buffers, boost::asio::bind_executor(get_executor(), std::move(handler)));
}

void AnyStreamOverTcp::start_write(const ConstBuffers& buffers, IoHandler handler) {
  stream_.async_write_some(buffers, boost::asio::bind_executor(get_executor(), std::move(handler)));
}

void AnyStreamOverTcp::teardown_now(boost::beast::role_type role, boost::system::error_code& ec) {
  using boost::beast::websocket::teardown;
  teardown(role, stream_, ec);
}

void AnyStreamOverTcp::start_teardown(boost::beast::role_type role, TeardownHandler handler) {
  using boost::beast::websocket::async_teardown;
  async_teardown(role, stream_, boost::asio::bind_executor(get_executor(), std::move(handler)));
}

}  // namespace Tavrin::Proxy::Http
