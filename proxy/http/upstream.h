// Internal to the proxy's HTTP side: the connection from one client
// connection to the origin it asks, kept open between requests to the same
// origin (keep-alive on the origin's side), plain or TLS. An origin over
// TLS is verified against the system's store and, when set, the further
// authority of the settings; ALPN offers http/1.1 only.
#ifndef QUORVANE_PROXY_HTTP_UPSTREAM_H_
#define QUORVANE_PROXY_HTTP_UPSTREAM_H_

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/request_target.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Why an origin could not be reached; the status is 502 or 504 and the
// message names the host and the cause.
class UpstreamFailure : public std::runtime_error {
 public:
  UpstreamFailure(boost::beast::http::status status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  boost::beast::http::status status() const { return status_; }

 private:
  boost::beast::http::status status_;
};

class Upstream {
 public:
  using TlsStream = boost::beast::ssl_stream<boost::beast::tcp_stream>;

  explicit Upstream(boost::asio::any_io_executor executor);

  // True when a connection to `origin` is open from an earlier request.
  bool open_to(const Origin& origin) const { return origin_ && *origin_ == origin && (plain_ || tls_); }

  // Opens a new connection to `origin`, dropping any other. Throws
  // UpstreamFailure.
  boost::asio::awaitable<void> connect(const Origin& origin, ProxyContext& context);

  void close();

  // How long the last connect() took in its steps, in ms: the name lookup,
  // the TCP connection and the TLS handshake (-1 for a plain one).
  struct ConnectTimes {
    double dns = -1;
    double connect = -1;
    double ssl = -1;
  };
  const ConnectTimes& connect_times() const { return times_; }

  // The open connection, plain or TLS. Only while one is open.
  AnyStream& stream() { return *stream_; }
  boost::beast::flat_buffer& buffer() { return buffer_; }

 private:
  boost::asio::any_io_executor executor_;
  std::optional<Origin> origin_;
  std::unique_ptr<boost::beast::tcp_stream> plain_;
  std::unique_ptr<TlsStream> tls_;
  std::unique_ptr<AnyStream> stream_;  // over plain_ or tls_
  boost::beast::flat_buffer buffer_;
  ConnectTimes times_;
};

// Sets up `context` for origins: verification against the system's store
// and `extra_ca_file` (when not empty), TLS 1.2 at least.
void configure_upstream_tls(boost::asio::ssl::context& context, const std::string& extra_ca_file);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_UPSTREAM_H_
