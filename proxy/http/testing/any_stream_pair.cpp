#include "proxy/http/testing/any_stream_pair.h"

#include <chrono>
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "proxy/http/certificate_authority.h"

namespace Tavrin::Proxy::Http::Testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
using boost::system::error_code;
using tcp = asio::ip::tcp;

std::string stream_kind_name(const testing::TestParamInfo<StreamKind>& info) {
  return info.param == StreamKind::kPlain ? "Plain" : "Tls";
}

void AnyStreamPairTest::run() {
  io_.restart();
  io_.run_for(std::chrono::seconds(20));
}

AnyStreamPair::AnyStreamPair(asio::io_context& io, StreamKind kind) {
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  tcp::socket client_socket(io);
  client_socket.connect(acceptor.local_endpoint());
  tcp::socket server_socket = acceptor.accept();
  if (kind == StreamKind::kPlain) {
    server_tcp_ = std::make_unique<beast::tcp_stream>(std::move(server_socket));
    client_tcp_ = std::make_unique<beast::tcp_stream>(std::move(client_socket));
    server_ = std::make_unique<AnyStreamOverTcp>(*server_tcp_);
    client_ = std::make_unique<AnyStreamOverTcp>(*client_tcp_);
    return;
  }
  authority_ = std::make_unique<CertificateAuthority>(dir_.file("authority"));
  server_context_ = authority_->server_context("localhost");
  client_context_.set_verify_mode(asio::ssl::verify_none);
  server_tls_ = std::make_unique<AnyStreamOverTls::Tls>(std::move(server_socket), *server_context_);
  client_tls_ = std::make_unique<AnyStreamOverTls::Tls>(std::move(client_socket), client_context_);
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

AnyStreamPair::~AnyStreamPair() = default;

}  // namespace Tavrin::Proxy::Http::Testing
