// Internal to the proxy's HTTP side: the page channel over WebSocket. An
// upgrade request on the channel's path that passed the channel's checks
// (a page token of the connection's run and the page's origin) becomes a
// socket that lives as long as its document; the pages it registers are
// bound to that token. The agent's text frames carry what a poll carries
// (the page's facts, the answer to its last command, "leaving"); the
// proxy's frames are commands, sent the moment the registry hands them to
// the socket's sink, which stays with the page for as long as the socket
// is open. The socket closing means the page is gone.
#ifndef QUORVANE_PROXY_PAGES_PAGE_SOCKET_H_
#define QUORVANE_PROXY_PAGES_PAGE_SOCKET_H_

#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>

#include "proxy/http/any_stream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Whether `request` asks to become a WebSocket.
bool is_socket_upgrade(const boost::beast::http::request<boost::beast::http::empty_body>& request);

// Accepts the upgrade `request` read from `client`, which presented the
// admitted `token`, and serves the socket until either side closes it.
// Never throws for the socket's own failures.
boost::asio::awaitable<void> serve_page_socket(AnyStream& client,
                                               const boost::beast::http::request<boost::beast::http::empty_body>& request,
                                               const std::string& token, ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_PAGES_PAGE_SOCKET_H_
