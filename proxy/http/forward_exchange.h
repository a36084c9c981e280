// Internal to forwarding (forward.cpp): one exchange with the origin, from
// the request's body to the end of the answer's, and the facts of the
// request it needs. Compiled apart from the rest of forwarding.
#ifndef QUORVANE_PROXY_HTTP_FORWARD_EXCHANGE_H_
#define QUORVANE_PROXY_HTTP_FORWARD_EXCHANGE_H_

#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/request_target.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

namespace forward_steps {

// A kept-alive origin connection that the origin had closed meanwhile: the
// request may be sent again on a new one.
struct StaleConnection {};

// One request's facts that outlive the changes made to its header.
struct Exchange {
  const Origin& origin;
  std::string path;
  boost::beast::http::verb method;
  unsigned version;
  bool keep_alive;
  bool document;
  bool upgrade;
  bool bodiless;  // no request body: the request may be sent again
  bool reused;
};

// Sends the request's body to `up` and the answer back to `client`; a
// 101 answer joins them as a tunnel. Sets `answered` once the client has
// been sent any of the answer. Throws StaleConnection when a reused
// connection turns out closed before anything came back (the request may
// be sent again), UpstreamFailure when the origin fails before the answer
// has begun. Returns whether the client connection may carry another
// request.
boost::asio::awaitable<bool> exchange(AnyStream& client, boost::beast::flat_buffer& client_buffer,
                                      boost::beast::http::request_parser<boost::beast::http::buffer_body>& request,
                                      AnyStream& up, boost::beast::flat_buffer& up_buffer, const Exchange& x,
                                      ProxyContext& context, Upstream& upstream, bool& answered);

}  // namespace forward_steps

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_FORWARD_EXCHANGE_H_
