// Internal to forwarding (forward.cpp and the steps it calls): the facts
// of one request that every step shares, and an HTML answer taken whole
// (for the agent to go in, or for a view of text) and sent on.
#ifndef QUORVANE_PROXY_HTTP_FORWARD_EXCHANGE_H_
#define QUORVANE_PROXY_HTTP_FORWARD_EXCHANGE_H_

#include <string>
#include <string_view>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/forward.h"
#include "proxy/http/page_budget.h"

namespace Tavrin::Proxy::Http {

namespace http = boost::beast::http;

struct ProxyContext;

// One request's facts that outlive the changes made to its header.
struct Exchange {
  const Origin& origin;
  std::string path;
  http::verb method;
  unsigned version;
  bool keep_alive;
  bool document;
  bool upgrade;
  bool bodiless;  // no request body: the request may be sent again
  bool reused;
  ForwardHooks* hooks = nullptr;  // a run's network control, when on
  std::string_view taken_body;    // read by the caller already
  // A document request over a run's port: the run, whether it loads a
  // window (not a frame), and the page it came from (Referer).
  std::string run;
  bool top_level = false;
  std::string referer;
  // The request carries credentials (the browser's, or the run's).
  bool authorized = false;
};

// The address the browser asked for.
inline std::string url_of(const Exchange& x) { return x.origin.web_origin() + x.path; }

enum class Taken { kWhole, kTooLarge, kOverBudget };

// Takes the body of an HTML answer into `page` until it ends, exceeds the
// settings' cap or would pass the pages' budget (`hold` counts its bytes).
// Throws UpstreamFailure when the origin cuts it short.
boost::asio::awaitable<Taken> take_page(AnyStream& up, boost::beast::flat_buffer& buffer,
                                        http::response_parser<http::buffer_body>& parser, std::string& page,
                                        PageBudget::Hold& hold, const Exchange& x, ProxyContext& context);

// Sends the page taken whole: injected when it decodes, else as it came.
// Returns whether the client connection may carry another request.
boost::asio::awaitable<bool> send_page(AnyStream& client, http::response_header<>& header, std::string& page,
                                       bool keep_alive, PageBudget::Hold& hold, const Exchange& x,
                                       ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_FORWARD_EXCHANGE_H_
