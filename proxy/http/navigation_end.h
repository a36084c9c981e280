// Internal to forwarding: what the proxy does itself with the answer to a
// run's document request, before it passes on. A 401 is answered with the
// run's credentials for the origin; an answer that ends the navigation
// without a page for the agent is saved as a download, shown as a view
// with the agent in it, or told to the page registry, so that no command
// waits for a page that never registers.
#ifndef QUORVANE_PROXY_HTTP_NAVIGATION_END_H_
#define QUORVANE_PROXY_HTTP_NAVIGATION_END_H_

#include <optional>
#include <string>

#include <boost/asio/awaitable.hpp>

#include "proxy/http/forward_exchange.h"

namespace Tavrin::Proxy::Http {

// The origin asked for credentials that the run gave: the request goes
// again with this Authorization.
struct Challenged {
  std::string authorization;
};

// A 401 to a run's request: answered with the run's credentials when it
// gave some for the origin (throws Challenged), unless the request carried
// credentials already; those were refused, so the challenge is taken off
// and the browser shows the origin's page as a user who gave up would see
// it, instead of a dialog that nobody answers.
void answer_challenges(http::response_header<>& answer, const Exchange& x, ProxyContext& context);

// How an answer that ended a navigation of a run went, when it was
// answered here.
struct Ended {
  bool keep_alive;      // the client connection may carry another request
  bool reusable;        // the origin's answer was read whole
  std::string failure;  // what cut the origin's answer short, for the request log
};

// A document answer of a run that ends the navigation without a page of
// the agent's: a download is saved here, text and images get a document
// with the agent, and the registry hears of the rest (a 204, a document
// the browser makes itself). std::nullopt: the answer is still to be
// passed on.
boost::asio::awaitable<std::optional<Ended>> end_of_navigation(AnyStream& client,
                                                               http::response_parser<http::buffer_body>& parser,
                                                               AnyStream& up, boost::beast::flat_buffer& up_buffer,
                                                               const Exchange& x, ProxyContext& context,
                                                               bool keep_alive, PageBudget::Hold& hold);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_NAVIGATION_END_H_
