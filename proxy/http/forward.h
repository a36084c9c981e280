// Internal to the proxy's HTTP side: passing one request on to its origin
// and the answer back. Bodies stream both ways; a document's HTML answer is
// taken whole (up to the settings' cap), decoded, given the support
// scripts and sent with its length recomputed; a 101 answer joins client
// and origin as a byte tunnel. A failure before the answer has begun gives
// the client a 502 or 504 page naming the host and the cause.
#ifndef QUORVANE_PROXY_HTTP_FORWARD_H_
#define QUORVANE_PROXY_HTTP_FORWARD_H_

#include <memory>
#include <string>
#include <string_view>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/network/request_log.h"
#include "proxy/network/route_rule.h"
#include "proxy/http/request_target.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// What a run's network control asks of one forwarded request: its log
// entry filled in as the exchange goes (the body sent, the answer's
// status, headers, body and times, or its failure), and the rule's changes
// of the answer (response: status, headers and text replaced; throttle:
// the body paced). The request's own changes are made by the caller.
struct ForwardHooks {
  Network::RequestLog* log = nullptr;
  std::shared_ptr<Network::LoggedRequest> entry;
  const Network::RouteAction* action = nullptr;  // null: the answer as it comes
  // The bodies' pieces, gathered here outside the log's lock and published
  // once: the request's when it has gone out, the answer's when it ends.
  std::string post_pieces{};
  bool post_taken = false;
  bool post_cut = false;
  std::string answer_pieces{};
  bool answer_cut = false;
};

// Forwards the request whose header `header` has read from `client` to
// `origin` at `path`, over `upstream` (reused when it is open to the same
// origin), observed through `hooks` when given. `taken_body`: the
// request's body when the caller has read it already (the parser is then
// done). Returns whether the client connection may carry another request.
boost::asio::awaitable<bool> forward_request(AnyStream& client, boost::beast::flat_buffer& client_buffer,
                                             boost::beast::http::request_parser<boost::beast::http::empty_body>& header,
                                             const Origin& origin, const std::string& path, ProxyContext& context,
                                             Upstream& upstream, ForwardHooks* hooks = nullptr);

// The same for a request whose body parser the caller made (and may have
// read the body through, given then as `taken_body`).
boost::asio::awaitable<bool> forward_request(AnyStream& client, boost::beast::flat_buffer& client_buffer,
                                             boost::beast::http::request_parser<boost::beast::http::buffer_body>& request,
                                             std::string_view taken_body, const Origin& origin,
                                             const std::string& path, ProxyContext& context, Upstream& upstream,
                                             ForwardHooks* hooks);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_FORWARD_H_
