// A WebSocket over the erased stream ends on both sides, whichever side
// closes, over each kind of connection.
#include "proxy/http/any_stream.h"

#include <chrono>
#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/any_stream_pair.h"

namespace Tavrin::Proxy::Http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using boost::system::error_code;

namespace websocket = beast::websocket;

using Testing::AnyStreamPair;
using Testing::StreamKind;

using AnyStreamWebSocketTest = Testing::AnyStreamPairTest;

// The proxy's WebSocket over the erased stream and a client of Beast's own
// over the other erased end: whichever side closes, the close handshake
// completes on both sides and the teardown (TLS close_notify first, over
// TLS) ends the connection, so that neither side waits for ever. The client
// is erased too because a second WebSocket type (over Beast's concrete TLS
// stream, a minute to compile) would make this file the slowest of the
// proxy's; its teardown is still Beast's own for the concrete stream and
// the client role. A client over the concrete stream talks to the proxy's
// page socket in page_socket_test.cpp.
void close_from_each_side(asio::io_context& io, AnyStreamPair& connection, bool server_closes) {
  AnyStream& server_end = connection.server();
  websocket::stream<AnyStream&, false> server(server_end);
  websocket::stream<AnyStream&, false> client(connection.client());
  std::optional<error_code> accepted, handshaken, server_read, client_read, server_closed, client_closed;
  beast::flat_buffer server_buffer, client_buffer;
  server.async_accept([&](error_code ec) {
    accepted = ec;
    if (ec) return;
    if (server_closes) {
      server.async_close(websocket::close_code::normal, [&](error_code e) { server_closed = e; });
    } else {
      server.async_read(server_buffer, [&](error_code e, std::size_t) { server_read = e; });
    }
  });
  client.async_handshake("localhost", "/", [&](error_code ec) {
    handshaken = ec;
    if (ec) return;
    if (server_closes) {
      client.async_read(client_buffer, [&](error_code e, std::size_t) { client_read = e; });
    } else {
      client.async_close(websocket::close_code::normal, [&](error_code e) { client_closed = e; });
    }
  });
  io.restart();
  io.run_for(std::chrono::seconds(20));

  ASSERT_TRUE(accepted && handshaken) << "the upgrade did not end";
  ASSERT_FALSE(*accepted) << accepted->message();
  ASSERT_FALSE(*handshaken) << handshaken->message();
  if (server_closes) {
    ASSERT_TRUE(server_closed && client_read) << "the close did not end on both sides";
    EXPECT_FALSE(*server_closed) << server_closed->message();
    EXPECT_EQ(*client_read, websocket::error::closed) << client_read->message();
  } else {
    ASSERT_TRUE(client_closed && server_read) << "the close did not end on both sides";
    EXPECT_FALSE(*client_closed) << client_closed->message();
    EXPECT_EQ(*server_read, websocket::error::closed) << server_read->message();
    EXPECT_EQ(server.reason().code, websocket::close_code::normal);
  }
  // The teardown closed the proxy's socket.
  EXPECT_FALSE(beast::get_lowest_layer(server_end).socket().is_open());
}

TEST_P(AnyStreamWebSocketTest, AWebSocketClosedByTheProxyEndsOnBothSides) {
  AnyStreamPair connection(io_, GetParam());
  close_from_each_side(io_, connection, true);
}

TEST_P(AnyStreamWebSocketTest, AWebSocketClosedByTheClientEndsOnBothSides) {
  AnyStreamPair connection(io_, GetParam());
  close_from_each_side(io_, connection, false);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnyStreamWebSocketTest, testing::Values(StreamKind::kPlain, StreamKind::kTls),
                         Testing::stream_kind_name);

}  // namespace
}  // namespace Tavrin::Proxy::Http
