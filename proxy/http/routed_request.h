// Internal to the proxy's HTTP side: one request of a run whose traffic
// the run's network control sees (proxy/network/run_network.h). The
// request goes into the run's log; the newest rule that matches it is
// applied here, in the proxy (an answer made here, an abort at the wire, a
// delay, the request or its answer changed); a request that no rule takes
// goes on as any other, observed.
#ifndef QUORVANE_PROXY_HTTP_ROUTED_REQUEST_H_
#define QUORVANE_PROXY_HTTP_ROUTED_REQUEST_H_

#include <filesystem>
#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/local_answers.h"
#include "proxy/http/request_target.h"
#include "proxy/http/upstream.h"
#include "proxy/network/run_network.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Serves the request whose header `header` has read from `client`, aimed
// at `origin` and `path` (`site`: the local site's folder that serves the
// origin, or null). Returns whether the client connection may carry
// another request.
boost::asio::awaitable<bool> serve_run_request(AnyStream& client, boost::beast::flat_buffer& buffer,
                                               boost::beast::http::request_parser<boost::beast::http::empty_body>& header,
                                               const Origin& origin, const std::string& path,
                                               const std::filesystem::path* site, const LocalRequest& local,
                                               ProxyContext& context, Upstream& upstream, Network::RunNetwork& network);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_ROUTED_REQUEST_H_
