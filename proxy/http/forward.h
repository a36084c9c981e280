// Internal to the proxy's HTTP side: passing one request on to its origin
// and the answer back. Bodies stream both ways; a document's HTML answer is
// taken whole (up to the settings' cap), decoded, given the support
// scripts and sent with its length recomputed; a 101 answer joins client
// and origin as a byte tunnel. A failure before the answer has begun gives
// the client a 502 or 504 page naming the host and the cause.
#ifndef QUORVANE_PROXY_HTTP_FORWARD_H_
#define QUORVANE_PROXY_HTTP_FORWARD_H_

#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/request_target.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Forwards the request whose header `header` has read from `client` to
// `origin` at `path`, over `upstream` (reused when it is open to the same
// origin). Returns whether the client connection may carry another
// request.
boost::asio::awaitable<bool> forward_request(AnyStream& client, boost::beast::flat_buffer& client_buffer,
                                             boost::beast::http::request_parser<boost::beast::http::empty_body>& header,
                                             const Origin& origin, const std::string& path, ProxyContext& context,
                                             Upstream& upstream);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_FORWARD_H_
