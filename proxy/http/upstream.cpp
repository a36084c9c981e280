#include "proxy/http/upstream.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <boost/asio/ip/tcp.hpp>

#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

namespace {

using tcp = asio::ip::tcp;

[[noreturn]] void fail(http::status status, const std::string& message) { throw UpstreamFailure(status, message); }

std::string reason(const error_code& ec) { return ec.message(); }

}  // namespace

void configure_upstream_tls(asio::ssl::context& context, const std::string& extra_ca_file) {
  context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 | asio::ssl::context::no_tlsv1_1);
  context.set_default_verify_paths();
  if (!extra_ca_file.empty()) context.load_verify_file(extra_ca_file);
  context.set_verify_mode(asio::ssl::verify_peer);
  static const unsigned char kAlpn[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};
  SSL_CTX_set_alpn_protos(context.native_handle(), kAlpn, sizeof kAlpn);
}

// The read buffer is reserved on the first connection: a client connection
// that never reaches an origin (an idle one, a local answer) costs none.
Upstream::Upstream(asio::any_io_executor executor) : executor_(std::move(executor)) {}

void Upstream::close() {
  error_code ignored;
  stream_.reset();
  if (plain_) plain_->socket().close(ignored);
  if (tls_) beast::get_lowest_layer(*tls_).socket().close(ignored);
  plain_.reset();
  tls_.reset();
  origin_.reset();
  buffer_.consume(buffer_.size());
}

asio::awaitable<void> Upstream::connect(const Origin& origin, ProxyContext& context) {
  close();
  if (buffer_.capacity() < kReadBufferBytes) buffer_.reserve(kReadBufferBytes);
  using Ms = std::chrono::duration<double, std::milli>;
  auto step_start = std::chrono::steady_clock::now();
  auto step = [&step_start] {
    const auto now = std::chrono::steady_clock::now();
    const double took = Ms(now - step_start).count();
    step_start = now;
    return took;
  };
  times_ = ConnectTimes{};
  tcp::resolver resolver(executor_);
  tcp::resolver::results_type endpoints;
  if (context.settings.pinned_origin_port != 0) {
    endpoints = tcp::resolver::results_type::create(
        tcp::endpoint(asio::ip::address_v4::loopback(), context.settings.pinned_origin_port), origin.host,
        std::to_string(origin.port));
  } else {
    auto [resolve_error, found] = co_await resolver.async_resolve(origin.host, std::to_string(origin.port), kTuple);
    if (resolve_error) {
      fail(http::status::bad_gateway,
           "The host name " + origin.host + " could not be resolved: " + reason(resolve_error));
    }
    endpoints = std::move(found);
  }
  // A name may stand for the proxy's own address; a connection there
  // would loop back into it.
  for (const auto& entry : endpoints) {
    if (context.is_own_endpoint(entry.endpoint())) {
      fail(http::status::bad_gateway, origin.authority() + " is this proxy itself; it does not connect to itself");
    }
  }

  times_.dns = step();
  auto stream = std::make_unique<beast::tcp_stream>(executor_);
  stream->expires_after(context.settings.connect_timeout);
  auto [connect_error, endpoint] = co_await stream->async_connect(endpoints, kTuple);
  if (connect_error == beast::error::timeout) {
    fail(http::status::gateway_timeout, "Timed out connecting to " + origin.authority());
  }
  if (connect_error) fail(http::status::bad_gateway, "Unable to connect to " + origin.authority() + ": " + reason(connect_error));
  stream->socket().set_option(tcp::no_delay(true));
  times_.connect = step();

  if (!origin.tls) {
    plain_ = std::move(stream);
    stream_ = std::make_unique<AnyStreamOverTcp>(*plain_);
    origin_ = origin;
    co_return;
  }
  auto tls = std::make_unique<TlsStream>(std::move(*stream), context.upstream_tls);
  error_code literal_error;
  asio::ip::make_address(origin.host, literal_error);
  // The name (or address) is checked by OpenSSL itself, so a mismatch
  // shows in the verify result like every other refusal.
  if (literal_error) {
    SSL_set_tlsext_host_name(tls->native_handle(), origin.host.c_str());
    SSL_set1_host(tls->native_handle(), origin.host.c_str());
  } else {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls->native_handle()), origin.host.c_str());
  }
  beast::get_lowest_layer(*tls).expires_after(context.settings.connect_timeout);
  auto [handshake_error] = co_await tls->async_handshake(asio::ssl::stream_base::client, kTuple);
  if (handshake_error) {
    const long verified = SSL_get_verify_result(tls->native_handle());
    if (verified != X509_V_OK) {
      fail(http::status::bad_gateway, "The certificate of " + origin.host + " could not be verified: " +
                                          X509_verify_cert_error_string(verified));
    }
    if (handshake_error == beast::error::timeout) {
      fail(http::status::gateway_timeout, "Timed out in the TLS handshake with " + origin.authority());
    }
    fail(http::status::bad_gateway, "The TLS handshake with " + origin.authority() + " failed: " + reason(handshake_error));
  }
  tls_ = std::move(tls);
  stream_ = std::make_unique<AnyStreamOverTls>(*tls_);
  origin_ = origin;
  times_.ssl = step();
}

}  // namespace Tavrin::Proxy::Http
