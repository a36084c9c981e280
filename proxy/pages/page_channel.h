// Internal to the proxy's HTTP side: the page agents' command channel, on
// "/quorvane/special/channel/" of every origin (the page's own, so no
// cross-origin rules apply). An agent POSTs its page's facts and the
// answer to its last command; the request is held until a command comes
// for the page, or answered with "{}" after kPollHold. ".../bye" says the
// page unloads. A WebSocket upgrade on the same path opens the socket form
// of the channel (page_socket.h); both give the registry a PageSink to
// send the page's commands to.
//
// Every request presents the page token (page_tokens.h) that the proxy put
// into the agent's script element: a poll in header kTokenField, a socket
// as its second subprotocol, a farewell (a beacon, which carries no header
// of its own) in its body. The channel admits a token only over the port of
// the run it was issued for and for the origin the request is addressed to;
// an Origin header that names another origin is refused too. A page that
// registers over a run's port belongs to that run (proxy/run_table.h) and
// to its token.
#ifndef QUORVANE_PROXY_PAGES_PAGE_CHANNEL_H_
#define QUORVANE_PROXY_PAGES_PAGE_CHANNEL_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;
struct LocalRequest;

inline constexpr const char kChannelPath[] = "/quorvane/special/channel/";
inline constexpr const char kTokenField[] = "X-Quorvane-Token";
// The subprotocol a page socket asks for first, and the proxy accepts.
inline constexpr const char kSocketProtocol[] = "quorvane";
inline constexpr std::chrono::seconds kPollHold{25};
// A held poll whose connection the browser closes leaves its page without
// a channel. A live page polls again at once after a navigation aborted
// its poll (the old page's farewell says it left), or 250 ms after a poll
// that failed; only a browser that went away stays silent. So the page
// has this long to poll again or say farewell before it counts as gone
// with its browser: a few times the agent's retry, with room for a busy
// machine, and still far below any command's limit.
inline constexpr std::chrono::milliseconds kLostPollGrace{1500};

// What the agent of a document served over `socket` (a browser's
// connection to the proxy) for `origin` reads from its script element: a
// new token of the connection's run and that origin, followed by ";poll"
// when the agent is to long-poll only. Empty over the main port, for a
// client that is no process of the run's registered browsers
// (ProxyServer::add_run_browser), or when the channel is not served: the
// document's agent then stays idle.
std::string agent_key(const boost::asio::ip::tcp::socket& socket, const std::string& origin, ProxyContext& context);

// The run whose port `socket` (a browser's connection to the proxy) came in
// on, counted as the run's activity; empty for the main port. Pages that
// register over the connection belong to that run.
std::string run_of_connection(const boost::asio::ip::tcp::socket& socket, ProxyContext& context);

// Answers a request on kChannelPath: a poll, a farewell or a socket
// upgrade. Returns whether the client connection may carry another
// request.
boost::asio::awaitable<bool> answer_channel(AnyStream& client, boost::beast::flat_buffer& buffer,
                                            boost::beast::http::request_parser<boost::beast::http::empty_body>& parser,
                                            const LocalRequest& request, ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_PAGES_PAGE_CHANNEL_H_
