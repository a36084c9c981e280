// Internal to the proxy's HTTP side: CONNECT. With interception on, and
// when the client begins TLS, the proxy ends the client's TLS itself with a
// leaf of its own authority for the host and serves the requests inside
// like any others (so HTTPS pages get the scripts); origins are reached
// over TLS of their own, verified. Plain HTTP from the client (as for
// ws://, which browsers tunnel to port 80) is served as requests to the
// tunnel's host. Otherwise (interception off, or bytes that are neither)
// the bytes pass through a plain tunnel.
#ifndef QUORVANE_PROXY_HTTP_CONNECT_TUNNEL_H_
#define QUORVANE_PROXY_HTTP_CONNECT_TUNNEL_H_

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Serves the CONNECT request `request` of `client`, a plain TCP connection,
// to its end; the TCP stream under `client` is used up (moved from) when
// the tunnel is intercepted.
boost::asio::awaitable<void> open_tunnel(AnyStream& client, boost::beast::flat_buffer& buffer,
                                         boost::beast::http::request_parser<boost::beast::http::empty_body>& request,
                                         ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_CONNECT_TUNNEL_H_
