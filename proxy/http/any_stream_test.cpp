// The erased stream over each kind of connection: writes of more buffers
// than one call passes arrive whole and in order, a WebSocket over it ends
// on both sides as over the concrete stream, and a time-out set on its
// lowest layer ends a read that waits through it.
#include "proxy/http/any_stream.h"

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <gtest/gtest.h>

#include "proxy/http/certificate_authority.h"
#include "proxy/http/stream_relay.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http {
namespace {

using tcp = asio::ip::tcp;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
namespace websocket = beast::websocket;

enum class Kind { kPlain, kTls };

// Both ends of a loopback connection of one kind, each behind an
// AnyStream; over TLS, after the handshake.
class Connection {
 public:
  Connection(asio::io_context& io, Kind kind) {
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    tcp::socket client_socket(io);
    client_socket.connect(acceptor.local_endpoint());
    tcp::socket server_socket = acceptor.accept();
    if (kind == Kind::kPlain) {
      server_tcp_ = std::make_unique<beast::tcp_stream>(std::move(server_socket));
      client_tcp_ = std::make_unique<beast::tcp_stream>(std::move(client_socket));
      server_ = std::make_unique<AnyStreamOverTcp>(*server_tcp_);
      client_ = std::make_unique<AnyStreamOverTcp>(*client_tcp_);
      return;
    }
    authority_ = std::make_unique<CertificateAuthority>(dir_.file("authority"));
    server_context_ = authority_->server_context("localhost");
    client_context_.set_verify_mode(asio::ssl::verify_none);
    server_tls_ = std::make_unique<TlsStream>(std::move(server_socket), *server_context_);
    client_tls_ = std::make_unique<TlsStream>(std::move(client_socket), client_context_);
    error_code server_error = asio::error::would_block;
    error_code client_error = asio::error::would_block;
    server_tls_->async_handshake(asio::ssl::stream_base::server, [&](error_code ec) { server_error = ec; });
    client_tls_->async_handshake(asio::ssl::stream_base::client, [&](error_code ec) { client_error = ec; });
    io.restart();
    io.run_for(std::chrono::seconds(10));
    io.restart();
    EXPECT_FALSE(server_error) << server_error.message();
    EXPECT_FALSE(client_error) << client_error.message();
    server_ = std::make_unique<AnyStreamOverTls>(*server_tls_);
    client_ = std::make_unique<AnyStreamOverTls>(*client_tls_);
  }

  AnyStream& server() { return *server_; }
  AnyStream& client() { return *client_; }
  // The concrete stream under the client's end, for a WebSocket client of
  // Beast's own.
  beast::tcp_stream& client_tcp() { return *client_tcp_; }
  TlsStream& client_tls() { return *client_tls_; }

 private:
  quorvane_test::TempDir dir_;
  std::unique_ptr<CertificateAuthority> authority_;
  std::shared_ptr<asio::ssl::context> server_context_;
  asio::ssl::context client_context_{asio::ssl::context::tls_client};
  std::unique_ptr<beast::tcp_stream> server_tcp_, client_tcp_;
  std::unique_ptr<TlsStream> server_tls_, client_tls_;
  std::unique_ptr<AnyStream> server_, client_;
};

std::string kind_name(const testing::TestParamInfo<Kind>& info) {
  return info.param == Kind::kPlain ? "Plain" : "Tls";
}

class AnyStreamTest : public testing::TestWithParam<Kind> {
 protected:
  // Runs the loop until its work is done, for 20 s at most.
  void run() {
    io_.restart();
    io_.run_for(std::chrono::seconds(20));
  }

  asio::io_context io_{1};
};

// A message sent as 40 buffers (some empty, some larger than a TLS record)
// in one async_write goes out over several writes of at most kMaxBuffers
// buffers each; what arrives is every byte, in order.
TEST_P(AnyStreamTest, AWriteOfManyBuffersArrivesWholeAndInOrder) {
  Connection connection(io_, GetParam());
  std::vector<std::string> parts;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::size_t size = i % 7 == 3 ? 0 : static_cast<std::size_t>(1 + i * 997 % 23000);
    std::string part(size, '\0');
    for (std::size_t j = 0; j < size; ++j) part[j] = static_cast<char>('a' + (i + j) % 26);
    expected += part;
    parts.push_back(std::move(part));
  }
  std::vector<asio::const_buffer> buffers;
  for (const auto& part : parts) buffers.push_back(asio::buffer(part));
  ASSERT_GT(buffers.size(), AnyStream::kMaxBuffers);

  std::optional<error_code> written_error;
  std::size_t written = 0;
  asio::async_write(connection.client(), buffers, [&](error_code ec, std::size_t n) {
    written_error = ec;
    written = n;
  });
  std::string received(expected.size(), '\0');
  std::optional<error_code> read_error;
  asio::async_read(connection.server(), asio::buffer(received), [&](error_code ec, std::size_t) { read_error = ec; });
  run();

  ASSERT_TRUE(written_error && read_error) << "the transfer did not end";
  EXPECT_FALSE(*written_error) << written_error->message();
  EXPECT_FALSE(*read_error) << read_error->message();
  EXPECT_EQ(written, expected.size());
  EXPECT_TRUE(received == expected) << "the bytes arrived out of order or changed";
}

// A time-out set on the lowest layer ends a read that waits through the
// erased stream with beast's timeout error, over TLS too.
TEST_P(AnyStreamTest, ATimeOutOnTheLowestLayerEndsAPendingRead) {
  Connection connection(io_, GetParam());
  beast::tcp_stream& lowest = beast::get_lowest_layer(connection.server());
  lowest.expires_after(std::chrono::milliseconds(100));
  std::array<char, 64> buffer{};
  std::optional<error_code> read_error;
  const auto started = std::chrono::steady_clock::now();
  connection.server().async_read_some(asio::buffer(buffer), [&](error_code ec, std::size_t) { read_error = ec; });
  run();
  ASSERT_TRUE(read_error) << "the read never ended";
  EXPECT_EQ(*read_error, beast::error::timeout) << read_error->message();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// The proxy's WebSocket over the erased stream and a client of Beast's own
// over the concrete stream: whichever side closes, the close handshake
// completes on both sides and the teardown (TLS close_notify first, over
// TLS) ends the connection, so that neither side waits for ever.
template <class ClientSocket>
void close_from_each_side(asio::io_context& io, AnyStream& server_end, ClientSocket& client, bool server_closes) {
  websocket::stream<AnyStream&, false> server(server_end);
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

TEST_P(AnyStreamTest, AWebSocketClosedByTheProxyEndsOnBothSides) {
  Connection connection(io_, GetParam());
  if (GetParam() == Kind::kPlain) {
    websocket::stream<beast::tcp_stream&> client(connection.client_tcp());
    close_from_each_side(io_, connection.server(), client, true);
  } else {
    websocket::stream<TlsStream&> client(connection.client_tls());
    close_from_each_side(io_, connection.server(), client, true);
  }
}

TEST_P(AnyStreamTest, AWebSocketClosedByTheClientEndsOnBothSides) {
  Connection connection(io_, GetParam());
  if (GetParam() == Kind::kPlain) {
    websocket::stream<beast::tcp_stream&> client(connection.client_tcp());
    close_from_each_side(io_, connection.server(), client, false);
  } else {
    websocket::stream<TlsStream&> client(connection.client_tls());
    close_from_each_side(io_, connection.server(), client, false);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnyStreamTest, testing::Values(Kind::kPlain, Kind::kTls), kind_name);

}  // namespace
}  // namespace Tavrin::Proxy::Http
