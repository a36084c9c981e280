// Internal to the proxy's HTTP side: one client connection, from its first
// request to its end. Requests are read one after another (keep-alive) and
// routed: CONNECT opens a tunnel (intercepted or plain); paths under
// "/quorvane/special/" on any host are the proxy's own (package files now,
// further kinds later); a host of a local site is served from its folder;
// a request aimed at the proxy itself is answered, never forwarded; every
// other request goes to its origin.
#ifndef QUORVANE_PROXY_HTTP_CLIENT_SESSION_H_
#define QUORVANE_PROXY_HTTP_CLIENT_SESSION_H_

#include <optional>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/request_target.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

inline constexpr const char kSpecialPath[] = "/quorvane/special/";

// Serves the connection until the client or an error ends it. Never throws.
boost::asio::awaitable<void> serve_connection(boost::asio::ip::tcp::socket socket, ProxyContext& context);

// Serves requests on `client` (the plain connection, or TLS inside an
// intercepted tunnel to `tunnel`, or plain HTTP inside a tunnel to
// `tunnel`) until the connection ends.
boost::asio::awaitable<void> serve_requests(AnyStream& client, boost::beast::flat_buffer& buffer,
                                            ProxyContext& context, std::optional<Origin> tunnel);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_CLIENT_SESSION_H_
