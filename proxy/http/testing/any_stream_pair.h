// Both ends of a loopback connection, plain or over TLS, each behind an
// AnyStream, and a fixture that runs a test over each kind, for the erased
// stream's tests. Over TLS the handshake is done before the constructor
// returns; it is compiled once here because Asio's TLS handshake is costly
// to instantiate.
#ifndef QUORVANE_PROXY_HTTP_TESTING_ANY_STREAM_PAIR_H_
#define QUORVANE_PROXY_HTTP_TESTING_ANY_STREAM_PAIR_H_

#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>
#include <gtest/gtest.h>

#include "proxy/http/any_stream.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http {
class CertificateAuthority;
}

namespace Tavrin::Proxy::Http::Testing {

enum class StreamKind { kPlain, kTls };

// "Plain" or "Tls", the parameter's part of a test's name.
std::string stream_kind_name(const testing::TestParamInfo<StreamKind>& info);

// A test run once over each kind of connection, with one event loop.
class AnyStreamPairTest : public testing::TestWithParam<StreamKind> {
 protected:
  // Runs the loop until its work is done, for 20 s at most.
  void run();

  boost::asio::io_context io_{1};
};

class AnyStreamPair {
 public:
  // Connects the two ends on `io`; over TLS runs `io` until both sides'
  // handshakes end (10 s at most) and fails the current test if one failed.
  AnyStreamPair(boost::asio::io_context& io, StreamKind kind);
  ~AnyStreamPair();

  AnyStream& server() { return *server_; }
  AnyStream& client() { return *client_; }

 private:
  quorvane_test::TempDir dir_;
  std::unique_ptr<CertificateAuthority> authority_;
  std::shared_ptr<boost::asio::ssl::context> server_context_;
  boost::asio::ssl::context client_context_{boost::asio::ssl::context::tls_client};
  std::unique_ptr<boost::beast::tcp_stream> server_tcp_, client_tcp_;
  std::unique_ptr<AnyStreamOverTls::Tls> server_tls_, client_tls_;
  std::unique_ptr<AnyStream> server_, client_;
};

}  // namespace Tavrin::Proxy::Http::Testing

#endif  // QUORVANE_PROXY_HTTP_TESTING_ANY_STREAM_PAIR_H_
