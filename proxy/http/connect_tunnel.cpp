#include "proxy/http/connect_tunnel.h"

#include "proxy/http/client_session.h"
#include "proxy/http/local_answers.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

namespace {

constexpr unsigned char kTlsHandshakeRecord = 0x16;

// Whether the bytes a client sent first begin a request line: a method
// token of capitals, then a space (or only capitals so far).
bool starts_like_http(const beast::flat_buffer& buffer) {
  const auto* bytes = static_cast<const unsigned char*>(buffer.data().data());
  const std::size_t size = buffer.size();
  std::size_t i = 0;
  while (i < size && i < 16 && bytes[i] >= 'A' && bytes[i] <= 'Z') ++i;
  return i > 0 && (i == size || bytes[i] == ' ');
}

asio::awaitable<bool> reply_established(AnyStream& client, ProxyContext& context) {
  static const std::string kEstablished = "HTTP/1.1 200 Connection Established\r\n\r\n";
  beast::get_lowest_layer(client).expires_after(context.settings.read_timeout);
  auto [ec, n] = co_await asio::async_write(client, asio::buffer(kEstablished), kTuple);
  co_return !ec;
}

// Connects `upstream` to the origin as it is (no TLS of the proxy's own);
// the failure, if it could not.
asio::awaitable<std::optional<UpstreamFailure>> connect_plain(Upstream& upstream, Origin origin,
                                                              ProxyContext& context) {
  origin.tls = false;
  try {
    co_await upstream.connect(origin, context);
  } catch (const UpstreamFailure& e) {
    co_return e;
  }
  co_return std::nullopt;
}

asio::awaitable<void> plain_tunnel(AnyStream& client, beast::flat_buffer& buffer, const Origin& origin,
                                   const LocalRequest& local, ProxyContext& context) {
  Upstream upstream(client.get_executor());
  const std::optional<UpstreamFailure> failure = co_await connect_plain(upstream, origin, context);
  if (failure) {
    context.note(failure->what());
    co_await answer_error(client, failure->status(), failure->what(), local, context);
    co_return;
  }
  if (!co_await reply_established(client, context)) co_return;
  co_await tunnel(client, buffer, upstream.stream(), upstream.buffer(), context.settings.idle_timeout,
                  context.settings.tunnel_idle_timeout);
}

asio::awaitable<void> intercepted(beast::tcp_stream& client, beast::flat_buffer& buffer, const Origin& origin,
                                  ProxyContext& context) {
  std::shared_ptr<asio::ssl::context> tls_context;
  try {
    tls_context = context.authority->server_context(origin.host);
  } catch (const std::exception& e) {
    context.note("No certificate for " + origin.host + ": " + e.what());
    co_return;
  }
  Upstream::TlsStream tls(std::move(client), *tls_context);
  beast::get_lowest_layer(tls).expires_after(context.settings.read_timeout);
  auto [ec, used] = co_await tls.async_handshake(asio::ssl::stream_base::server, buffer.data(), kTuple);
  if (ec) {
    context.note("The TLS handshake with a client for " + origin.host + " failed: " + ec.message());
    co_return;
  }
  buffer.consume(used);
  AnyStreamOverTls stream(tls);
  beast::flat_buffer inner;
  inner.reserve(kReadBufferBytes);
  co_await serve_requests(stream, inner, context, origin);
}

}  // namespace

asio::awaitable<void> open_tunnel(AnyStream& client, beast::flat_buffer& buffer,
                                  http::request_parser<http::empty_body>& request, ProxyContext& context) {
  const auto& header = request.get();
  const LocalRequest local{header.method(), header.version(), false, false, std::string(), std::string(),
                           std::string()};
  const auto origin = parse_authority(header.target(), true);
  if (!origin) {
    co_await answer_error(client, http::status::bad_request,
                          "The CONNECT target " + std::string(header.target()) + " is not host:port", local, context);
    co_return;
  }
  if (context.is_own_host(origin->host, origin->port)) {
    co_await answer_error(client, http::status::bad_request, "The proxy does not open tunnels to itself", local,
                          context);
    co_return;
  }
  // Without interception, HTTPS passes as it is, and a failure to reach the
  // origin can still be told in the CONNECT's own answer.
  if (!context.authority && origin->port == 443) {
    co_await plain_tunnel(client, buffer, *origin, local, context);
    co_return;
  }
  if (!co_await reply_established(client, context)) co_return;
  // The client's first bytes tell whether it speaks TLS inside.
  if (buffer.size() == 0) {
    beast::get_lowest_layer(client).expires_after(context.settings.read_timeout);
    auto [ec, n] = co_await client.async_read_some(buffer.prepare(16 * 1024), kTuple);
    if (ec) co_return;
    buffer.commit(n);
  }
  const auto* first = static_cast<const unsigned char*>(buffer.data().data());
  if (*first == kTlsHandshakeRecord && context.authority) {
    co_await intercepted(beast::get_lowest_layer(client), buffer, *origin, context);
    co_return;
  }
  // Plain HTTP inside (browsers send ws:// through a proxy this way): its
  // requests are served like any others, so the page channel, injection
  // and local sites work in such tunnels too.
  if (*first != kTlsHandshakeRecord && starts_like_http(buffer)) {
    Origin plain = *origin;
    plain.tls = false;
    co_await serve_requests(client, buffer, context, plain);
    co_return;
  }
  Upstream upstream(client.get_executor());
  const std::optional<UpstreamFailure> failure = co_await connect_plain(upstream, *origin, context);
  if (failure) {
    context.note(failure->what());
    co_return;
  }
  co_await tunnel(client, buffer, upstream.stream(), upstream.buffer(), context.settings.idle_timeout,
                  context.settings.tunnel_idle_timeout);
}

}  // namespace Tavrin::Proxy::Http
